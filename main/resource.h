#pragma once
// Resource identifiers shared by the resource script and the code.
#define IDI_KAVRO 1
// The version as the version block and the log show it.
#define KAVRO_VERSION_TEXT "1.00"
// The commit the program is built from. The build defines KAVRO_COMMIT bare (windres mangles a
// quoted definition), and it is quoted here.
#define KAVRO_QUOTED_(...) #__VA_ARGS__
#define KAVRO_QUOTED(...) KAVRO_QUOTED_(__VA_ARGS__)
#ifdef KAVRO_COMMIT
#define KAVRO_COMMIT_TEXT KAVRO_QUOTED(KAVRO_COMMIT)
#else
#define KAVRO_COMMIT_TEXT "desconocido"
#endif
// The version and the commit, as the product version and the log's start line name them.
#define KAVRO_BUILD_TEXT KAVRO_VERSION_TEXT " (commit " KAVRO_COMMIT_TEXT ")"
