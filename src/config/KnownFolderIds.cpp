// Defines the known-folder GUIDs the wizard uses here, instead of linking MinGW's uuid library,
// whose single object carries thousands of GUIDs (about 35 KB of the stub).
#include <windows.h>
#include <initguid.h>
#include <knownfolders.h>
