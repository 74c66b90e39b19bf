#pragma once
// Private window messages between workers and windows.
#include <windows.h>

constexpr UINT WM_DOWNLOAD_PROGRESS = WM_USER + 1;   // wParam: whole per cent, 0..100
constexpr UINT WM_DOWNLOAD_NO_LENGTH = WM_USER + 2;  // the response has no usable length
constexpr UINT WM_LOAD_COMPLETE = WM_USER + 3;       // loading finished; packages handed over
constexpr UINT WM_REQUEST_COMPLETE = WM_USER + 4;    // configuration worker finished
constexpr UINT WM_DIALOG_SHOWN = WM_USER + 5;        // the main dialog shows: focus its first page
