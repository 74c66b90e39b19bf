// Which locale resources each built wizard carries: its own language set, and the BT texts only
// in a BT build (the delivered build keeps a blank line there).
#include <windows.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <zlib.h>

#include <set>
#include <string>

#include "BtTextKeys.h"
#include "WizardProcess.h"
#include "resources/resource.h"
#include "win32/UniqueResource.h"

namespace {

// The build stores locale documents deflated.
std::string Inflate(const char* bytes, DWORD size) {
  std::string text(64 * 1024, '\0');
  uLongf length = static_cast<uLongf>(text.size());
  if (bytes == nullptr || ::uncompress(reinterpret_cast<Bytef*>(text.data()), &length,
                                       reinterpret_cast<const Bytef*>(bytes), size) != Z_OK) {
    return {};
  }
  text.resize(length);
  return text;
}

// The executable's resources, read without running it.
class ExecutableResources {
 public:
  explicit ExecutableResources(const std::wstring& path)
      : m_module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}

  bool Loaded() const { return static_cast<bool>(m_module); }
  bool HasLocale(int id) const { return ::FindResourceW(m_module.get(), MAKEINTRESOURCEW(id), L"LOCALE") != nullptr; }
  std::string Locale(int id) const {
    HRSRC resource = ::FindResourceW(m_module.get(), MAKEINTRESOURCEW(id), L"LOCALE");
    if (resource == nullptr) return {};
    return Inflate(static_cast<const char*>(::LockResource(::LoadResource(m_module.get(), resource))),
                   ::SizeofResource(m_module.get(), resource));
  }

 private:
  win32::UniqueHmodule m_module;
};

std::set<std::string> TopLevelNames(const std::string& xml) {
  tinyxml2::XMLDocument doc;
  std::set<std::string> names;
  if (doc.Parse(xml.c_str(), xml.size()) != tinyxml2::XML_SUCCESS) return names;
  for (const tinyxml2::XMLElement* e = doc.FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    names.insert(e->Name());
  }
  return names;
}

TEST(WizardResources, EachWizardCarriesItsOwnLanguages) {
  const ExecutableResources dlm(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  const ExecutableResources isv(WindowsPathFromEnv("BRINDLE_WIZARD_ISV"));
  ASSERT_TRUE(dlm.Loaded());
  ASSERT_TRUE(isv.Loaded());
  for (int id = 105; id <= 118; ++id) {
    EXPECT_TRUE(dlm.HasLocale(id)) << id;
    EXPECT_FALSE(isv.HasLocale(id)) << id;
  }
  for (int id : {101, 102}) {
    EXPECT_TRUE(isv.HasLocale(id)) << id;
    EXPECT_FALSE(dlm.HasLocale(id)) << id;
  }
  EXPECT_EQ(dlm.Locale(108), dlm.Locale(116));
}

TEST(WizardResources, OnlyBtBuildsCarryBtTexts) {
  const ExecutableResources delivered(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  const ExecutableResources bt(WindowsPathFromEnv("BRINDLE_WIZARD_BT"));
  ASSERT_TRUE(delivered.Loaded());
  ASSERT_TRUE(bt.Loaded());
  const std::string blank = delivered.Locale(IDR_BT_TEXTS);
  EXPECT_TRUE(blank == "\n" || blank == "\r\n") << "not a blank line: " << blank.size() << " bytes";

  const std::set<std::string> names = TopLevelNames(bt.Locale(IDR_BT_TEXTS));
  for (const char* key : kBtTextKeys) {
    EXPECT_EQ(names.count(key), 1u) << key;
  }
}

}  // namespace
