// The program's version, used by the version block and the code.
#pragma once
#define BRENIX_VERSION_MAJOR 1
#define BRENIX_VERSION_MINOR 5
#define BRENIX_VERSION_RELEASE 0
#define BRENIX_VERSION_BUILD 0
#define BRENIX_VERSION_TEXT "1.5.0.0"
