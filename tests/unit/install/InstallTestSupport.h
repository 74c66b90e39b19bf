#pragma once
// Scratch folders, the test installers and archives built into install_data, and the
// records the test installer leaves (tests/installers/test_installer.cpp).
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace installtest {

// A fresh folder under the temporary path, removed with everything in it afterwards. The
// installers started from it record into its "log" subfolder.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::wstring operator[](const std::wstring& relative) const { return m_path + L"\\" + relative; }
  const std::wstring& Path() const { return m_path; }
  std::wstring LogFolder() const { return (*this)[L"log"]; }

 private:
  std::wstring m_path;
};

std::wstring DataFile(const std::wstring& name);
// Copies a file, creating the folders of the target first.
void Place(const std::wstring& source, const std::wstring& target);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// Names in the folder, sorted; empty when it is missing.
std::vector<std::wstring> Contents(const std::wstring& folder);

using Record = std::map<std::string, std::string>;
// The records in `folder`, once at least `count` are there (or after 30 s).
std::vector<Record> WaitForRecords(const std::wstring& folder, std::size_t count = 1);

}  // namespace installtest
