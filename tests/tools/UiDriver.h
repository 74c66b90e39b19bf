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

// A visible top-level dialog with this title; a title starting with "*" matches the end of the
// window's title (the wizard's title changes once the product is known: "Setup", "X Setup").
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

// The page a wizard shows: its visible child dialog. Pages carry their name as window text.
HWND CurrentPage(HWND wizard);
std::wstring CurrentPageName(HWND wizard);
// Waits until the wizard shows the named page (or ends); null on time-out.
HWND WaitForPage(HWND wizard, const std::wstring& name, DWORD timeoutMs);
// The texts a user sees in a window: visible controls with text, in tab order, and the
// selection of visible combo boxes.
std::vector<std::wstring> VisibleTexts(HWND window);
// Chooses a combo box item as a user would: the owner hears CBN_SELCHANGE (setting the
// selection alone does not notify). False when no item has the text.
bool ChooseComboItem(HWND combo, const std::wstring& text);
// Presses a button of the process's message box once it shows; its text, or empty on time-out.
std::wstring AnswerMessageBox(DWORD processId, int buttonId, DWORD timeoutMs);

// What a driver saw and did, line by line, for failure messages and the demo's summary.
class Transcript {
 public:
  void Add(const std::wstring& line) { m_lines.push_back(line); }
  void AddPage(HWND wizard);
  std::wstring Text() const;

 private:
  std::vector<std::wstring> m_lines;
};

}  // namespace uidriver
