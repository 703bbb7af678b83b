#pragma once
// Resource identifiers shared by the resource script and the code.
#define IDI_KAVRO 1
// The version as the version block and the log show it.
#define KAVRO_VERSION_TEXT "1.00"
