"""Test bed for running DesinstalaKavro1.exe for real under Wine: an X server, Wine prefixes
cloned from a template under the build folder, registry and file seeding, and the driver that
runs the program unattended. Shared by the end-to-end tests, scripts/demo and scripts/bench."""
