#pragma once
// Finds and drives another process's windows the way a person would: read texts, press
// buttons, answer message boxes, close windows.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uidriver {

// Top-level dialog windows (class #32770) of a process (0 = any process), visible or not.
std::vector<HWND> TopLevelDialogs(DWORD processId);

// Polls (every 50 ms) until `find` returns a window or the time runs out; null on time-out.
HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs);

HWND FindDialogByTitle(DWORD processId, const std::wstring& title);
// A message box of the process: a dialog with the message static (id 0xFFFF).
HWND FindMessageBox(DWORD processId);
std::wstring MessageBoxText(HWND box);

// The first visible descendant with the control id (pages repeat ids), else any descendant.
HWND FindControl(HWND top, int id);
std::wstring GetText(HWND window);
bool IsVisible(HWND window);
// Posted, so a click that opens a modal box does not block the driver.
void Click(HWND button);
void Close(HWND window);

}  // namespace uidriver
