// BrindleRules.exe against documents with known outcomes on this prefix: its lines, its verdicts
// next to the wizard's own loader's, its exit codes, and that it sends and writes nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "EligibilityTestSupport.h"
#include "ServiceControl.h"
#include "config/ConfigurationManager.h"
#include "i18n/LocaleTestSupport.h"
#include "offers/ConfigurationLoader.h"
#include "offers/RegistryPaths.h"
#include "win32/Strings.h"

using nlohmann::json;

namespace {

struct ToolRun {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

std::wstring ToolPath() {
  const char* path = std::getenv("BRINDLE_RULES_TOOL");
  std::wstring windows = L"Z:";
  for (const char* p = path != nullptr ? path : ""; *p != '\0'; ++p) windows += *p == '/' ? L'\\' : wchar_t(*p);
  return windows;
}

std::string ReadAll(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

// This process's environment with TMP and TEMP naming `temp`.
std::wstring EnvironmentWithTemp(const std::wstring& temp) {
  std::wstring block;
  wchar_t* strings = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring lower = win32::LowerCase(entry);
    if (lower.starts_with(L"tmp=") || lower.starts_with(L"temp=")) continue;
    block.append(entry).push_back(L'\0');
  }
  ::FreeEnvironmentStringsW(strings);
  for (const wchar_t* name : {L"TMP=", L"TEMP="}) block.append(name).append(temp).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Runs BrindleRules.exe with these arguments (and its own temporary folder when one is given)
// and collects what it printed.
ToolRun RunTool(const std::vector<std::wstring>& arguments, const std::wstring& temp = {}) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  win32::UniqueHandle outRead, outWrite, errRead, errWrite;
  EXPECT_TRUE(::CreatePipe(outRead.put(), outWrite.put(), &inherit, 0));
  EXPECT_TRUE(::CreatePipe(errRead.put(), errWrite.put(), &inherit, 0));
  ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);
  std::wstring commandLine = L"\"" + ToolPath() + L"\"";
  for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  PROCESS_INFORMATION started{};
  ToolRun run;
  std::wstring environment = temp.empty() ? std::wstring() : EnvironmentWithTemp(temp);
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, temp.empty() ? nullptr : environment.data(),
                        nullptr, &startup, &started)) {
    ADD_FAILURE() << "cannot start " << win32::WideToUtf8(commandLine);
    return run;
  }
  win32::UniqueHandle process(started.hProcess);
  win32::UniqueHandle thread(started.hThread);
  outWrite.reset();
  errWrite.reset();
  std::thread errors([&] { run.err = ReadAll(errRead.get()); });
  run.out = ReadAll(outRead.get());
  errors.join();
  EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  ::GetExitCodeProcess(process.get(), &run.exitCode);
  return run;
}

// A document in a file of its own for one run.
class DocumentFile {
 public:
  explicit DocumentFile(const std::string& text) {
    static int count = 0;
    m_path = std::filesystem::temp_directory_path() /
             ("brindle-rules-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count) + ".json");
    std::ofstream(m_path, std::ios::binary) << text;
  }
  explicit DocumentFile(const json& document) : DocumentFile(document.dump()) {}
  ~DocumentFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
  }
  std::wstring Path() const { return m_path.wstring(); }

 private:
  std::filesystem::path m_path;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
  }
  return lines;
}

// '*' stands for any text.
bool Matches(std::string_view line, std::string_view pattern) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return line == pattern;
  if (!line.starts_with(pattern.substr(0, star))) return false;
  line.remove_prefix(star);
  pattern.remove_prefix(star + 1);
  for (std::size_t at = 0; at <= line.size(); ++at) {
    if (Matches(line.substr(at), pattern)) return true;
  }
  return false;
}

json Offer(const std::string& id, int vertical, const json& ps = json::object()) {
  json offer = {{"ad", {{"o", id}, {"f", "token"}}},
                {"ps", {{"i", "i.png"}, {"dn", "Offer " + id}, {"u", "u.exe"}, {"v", vertical}}}};
  for (const auto& [key, value] : ps.items()) offer["ps"][key] = value;
  return offer;
}

json Document(const json& maxOffers, const json& offers) {
  return {{"i", {{"ct", "Tavrel"}, {"cu", "https://localhost/f/x.exe"}}}, {"f", {{"m", maxOffers}}}, {"o", offers}};
}

std::string Narrow(const std::wstring& text) { return win32::WideToUtf8(text); }

// A document, the wizard it is judged for, and what must come of it: every offer's verdict
// ("accepted", the reason, "unreported: " and the reason, or "not judged") and lines of the
// text report ('*' for what this machine decides), among them every line of its flow.
struct RulesCase {
  const char* name;
  bool isv;
  json document;
  std::vector<std::pair<std::string, std::string>> verdicts;
  std::vector<std::string> lines;
};

// Keys, values, a file and a process that the documents ask about, made for each test.
class RulesTool : public ::testing::Test {
 protected:
  void SetUp() override {
    m_scratch.Key(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, ScratchKey() + L"\\Present");
    m_scratch.Key(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, ScratchKey() + L"\\Only32");
    m_scratch.Dword(HKEY_CURRENT_USER, KEY_WOW64_64KEY, ScratchKey() + L"\\Values", L"Level", 5);
    m_scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, ScratchKey() + L"\\Values", L"When",
                     std::to_wstring(std::time(nullptr) - 86400 - 60));
    m_scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, ScratchKey() + L"\\Marker", L"until", L"20991231");
  }

  std::vector<RulesCase> Cases() const {
    const std::string rule = Narrow(ScratchRulePath());
    const std::string key = Narrow(ScratchKey());
    const std::string file = Narrow(m_file.Path());
    const json machine = Document(
        100,
        {Offer("present", 1, {{"r", {rule + "\\present"}}}), Offer("absent", 2, {{"ir", {rule + "\\absent"}}}),
         Offer("only32", 3, {{"r", {"hklm\\software\\wow6432node\\" + rule + "\\only32"}}}),
         Offer("value", 4, {{"rvd", {rule + "\\values\\level\\5"}}}), Offer("file", 5, {{"fe", {file}}}),
         Offer("nofile", 6, {{"ife", {"C:\\brindle-rules-none\\x.txt", "\\\\host\\share\\x.txt"}}}),
         Offer("process", 7, {{"a", {"brindlerulesblocker"}}}), Offer("memory", 8, {{"ram", 1ULL << 40}}),
         Offer("fits", 9, {{"disk", 1}, {"ram", 1}, {"ov", 61}, {"win64", true}}), Offer("unknownos", 10, {{"ov", 70}}),
         Offer("version", 11, {{"pv", "99"}}), Offer("app", 12, {{"iapp", {"brindlerulesnone.exe"}}}),
         Offer("uninstall", 13,
               {{"cmdu",
                 {{{"utr", "hkey_current_user"},
                   {"utk", "software\\" + rule + "\\values"},
                   {"utvn", "when"},
                   {"utvt", "REG_SZ"},
                   {"umd", 7}}}}}),
         Offer("noshow", 14, {{"pn", true}, {"pnr", key + "\\Marker\\until"}}), Offer("chrome", 15, {{"x", 12}})});
    const json limits =
        Document(2, {Offer("a", 1), Offer("b", 2, {{"pn", true}, {"cfs", {{"sied", true}}}}), Offer("c", 1),
                     Offer("d", 3, {{"exc", true}}), Offer("e", 4), Offer("f", 5), Offer("g", 6)});
    const json flow = Document(
        5, {Offer("a", 1, {{"pn", true}, {"cfs", {{"mo", 2}, {"saad", true}}}}), Offer("b", 2), Offer("c", 3)});
    json exclusive = {{"f", {{"m", 3}}}, {"o", {Offer("x", 1, {{"exc", true}}), Offer("y", 2)}}};
    return {
        {"machine checks",
         false,
         machine,
         {{"present", "REGISTRY KEY EXISTS"},
          {"absent", "NONE OF THE REGISTRY KEYS EXISTS"},
          {"only32", "REGISTRY KEY EXISTS"},
          {"value", "REGISTRY VALUE DATA MATCHES"},
          {"file", "FILE EXISTS"},
          {"nofile", "NONE OF THE FILES EXISTS"},
          {"process", "APPLICATION RUNNING"},
          {"memory", "NOT ENOUGH RAM"},
          {"fits", "accepted"},
          {"unknownos", "UNSUPPORTED OS VERSION"},
          {"version", "UNSUPPORTED PLATFORM VERSION"},
          {"app", "REGISTRY INCLUDE APP NOT FOUND"},
          {"uninstall", "MIN DAYS UNINSTALL CHECKER"},
          {"noshow", "PN NO SHOW"},
          {"chrome", "NO CHROME"}},
         {"1. present \"Offer present\": rejected: REGISTRY KEY EXISTS",
          "key hkey_local_machine\\software\\" + rule + "\\present (64-bit view): found",
          "key hkey_current_user\\software\\wow6432node\\" + rule + "\\absent (32-bit view): missing",
          "key hkey_local_machine\\software\\wow6432node\\" + rule + "\\only32 (32-bit view): found",
          "value hkey_current_user\\software\\" + rule + "\\values\\level (64-bit view): matches 5",
          "file " + file + ": exists",
          "file C:\\brindle-rules-none\\x.txt: absent",
          "file \\\\host\\share\\x.txt: not looked at (not a local path)",
          "process brindlerulesblocker: running as brindlerulesblocker.exe",
          "memory: * MB, needs 1099511627776 MB",
          "9. fits \"Offer fits\": accepted",
          "free disk space: * MB, needs 1 MB",
          "Windows 6.1 or later: yes",
          "64-bit Windows: yes",
          "Windows code 70 (unknown): no",
          "wizard version: 3.2.2.12299, needs 99",
          "application brindlerulesnone.exe: not registered",
          "uninstalled software\\" + rule + "\\values\\when, needs 7 days: 1 day ago",
          "value hkey_local_machine\\" + key + "\\Marker\\until (32-bit view): 20991231",
          "no-show marker until 20991231: today is *",
          "file *\\Google\\Chrome\\Application\\chrome.exe: absent",
          "page 1: 9. fits \"Offer fits\""}},
        {"limits between offers",
         false,
         limits,
         {{"a", "accepted"},
          {"b", "accepted"},
          {"c", "unreported: SAME VERTICAL OFFER ALREADY PRESENT"},
          {"d", "unreported: EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"},
          {"e", "accepted"},
          {"f", "not judged"},
          {"g", "not judged"}},
         {"maxOffers 2, extra offer slots 1",
          "3. c \"Offer c\": rejected: SAME VERTICAL OFFER ALREADY PRESENT (not reported: maxOffers offers are "
          "accepted)",
          "7. g \"Offer g\": not judged: 3 offers accepted: the limit, maxOffers 2 with 1 extra slots, is reached",
          "page 1: 1. a \"Offer a\"", "page 2: 2. b \"Offer b\"", "page 3: 5. e \"Offer e\"",
          "left out while judging: 3. c \"Offer c\": SAME VERTICAL OFFER ALREADY PRESENT",
          "left out while judging: 4. d \"Offer d\": EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT",
          "judging stopped at 6. f \"Offer f\": 3 offers accepted: the limit, maxOffers 2 with 1 extra slots, is "
          "reached",
          "2. b \"Offer b\" is skipped when an offer before it is declined (skipIfEarlierDeclined)"}},
        {"offers in the flow",
         false,
         flow,
         {{"a", "accepted"}, {"b", "accepted"}, {"c", "accepted"}},
         {"page 1: 1. a \"Offer a\"", "page 2: 2. b \"Offer b\"",
          "skipped: 3. c \"Offer c\": EXCEEDED MAX NUMBER OF OFFERS IN FLOW (maxOffersInFlow 2 of a)",
          "declining 1. a \"Offer a\" skips every later offer (skipAllAfterDecline)"}},
        {"an exclusive offer, ISV",
         true,
         exclusive,
         {{"x", "accepted"}, {"y", "not judged"}},
         {"Offers of *, judged for the ISV wizard on this machine",
          "2. y \"Offer y\": not judged: offer x is exclusive: no offer is judged after it", "page 1: 1. x \"Offer x\"",
          "judging stopped at 2. y \"Offer y\": offer x is exclusive: no offer is judged after it"}},
    };
  }

  static std::vector<std::wstring> Arguments(const RulesCase& c, const DocumentFile& file, bool asJson) {
    std::vector<std::wstring> arguments = {file.Path(), L"--wizard", c.isv ? L"isv" : L"dlm"};
    if (asJson) arguments.push_back(L"--json");
    return arguments;
  }

  RegistryScratch m_scratch;
  TemporaryFile m_file{L"brindle-rules-" + std::to_wstring(::GetCurrentProcessId()) + L"\\present.txt"};
  RunningProgram m_blocker{L"brindlerulesblocker.exe"};
};

TEST_F(RulesTool, PrintsTheFactsEachVerdictRead) {
  for (const RulesCase& c : Cases()) {
    const DocumentFile file(c.document);
    const ToolRun run = RunTool(Arguments(c, file, false));
    EXPECT_EQ(run.exitCode, 0u) << c.name << ": " << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    const auto expected = [&c](const std::string& line) {
      return std::any_of(c.lines.begin(), c.lines.end(),
                         [&](const std::string& pattern) { return Matches(line, pattern); });
    };
    for (const std::string& pattern : c.lines) {
      EXPECT_TRUE(
          std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return Matches(line, pattern); }))
          << c.name << ": no line " << pattern << "\n"
          << run.out;
    }
    const auto flow =
        std::find_if(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with("Flow ("); });
    ASSERT_NE(flow, lines.end()) << c.name;
    for (auto line = flow + 1; line != lines.end(); ++line) {
      EXPECT_TRUE(line->empty() || expected(*line)) << c.name << ": unexpected " << *line;
    }
  }
}

// One table drives both: the verdicts BrindleRules.exe reports and those of the wizard's loader,
// whose only outputs are the accepted offers and the reasons of the rejections it reports.
TEST_F(RulesTool, ItsVerdictsAreTheWizardsOwn) {
  int& slots = ConfigurationManager::GetInstance()->extraOfferSlots;
  const int savedSlots = slots;
  for (const RulesCase& c : Cases()) {
    const DocumentFile file(c.document);
    const ToolRun run = RunTool(Arguments(c, file, true));
    ASSERT_EQ(run.exitCode, 0u) << c.name << ": " << run.err;
    const json report = json::parse(run.out);
    std::vector<std::pair<std::string, std::string>> tool;
    for (const json& offer : report.at("offers")) {
      const auto verdict = offer.at("verdict").get<std::string>();
      const std::string text = verdict != "rejected" ? verdict
                               : offer.at("reported").get<bool>()
                                   ? offer.at("reason").get<std::string>()
                                   : "unreported: " + offer.at("reason").get<std::string>();
      tool.emplace_back(offer.at("id").get<std::string>(), text);
    }
    EXPECT_EQ(tool, c.verdicts) << c.name;

    slots = 0;
    auto config = testsupport::MakeConfig(c.isv ? L"ISV" : L"DLM");
    std::map<std::string, std::string> wizard;
    EvaluatorSetup setup;
    setup.eventSink = [&wizard](Package& package, int, const json& extra) {
      wizard[package.m_offerId] = extra.at("13").get<std::string>();
    };
    for (const auto& package : ApplyConfigurationDocument(c.document, *config, setup).packages) {
      wizard[package->m_offerId] = "accepted";
    }
    for (const auto& [id, verdict] : c.verdicts) {
      const bool silent = verdict == "not judged" || verdict.starts_with("unreported: ");
      EXPECT_EQ(wizard[id], silent ? "" : verdict) << c.name << ": " << id;
    }
  }
  slots = savedSlots;
}

TEST(RulesToolUse, UnusableDocumentsAndUsageErrors) {
  const DocumentFile malformed(std::string("{\"o\": [")), noTitle(json{{"i", {{"ct", ""}, {"cu", "x"}}}}),
      fractional(Document(2.5, json::array())), emptyFile(std::string{});
  const struct {
    const char* name;
    std::vector<std::wstring> arguments;
    DWORD exitCode;
    const char* message;
  } cases[] = {
      {"malformed", {malformed.Path()}, 2, "the wizard cannot use this document: [json.exception.parse_error.101]"},
      {"no title", {noTitle.Path()}, 2, "no product title or no product URL"},
      {"no title, ISV", {noTitle.Path(), L"--wizard", L"isv"}, 0, ""},
      {"f.m 2.5", {fractional.Path()}, 2, "f.m is not an integer"},
      {"empty", {emptyFile.Path()}, 2, " is empty"},
      {"missing", {L"C:\\brindle-rules-none.json"}, 2, "cannot read C:\\brindle-rules-none.json"},
      {"nothing", {}, 1, "name one document, or --campaign CODE"},
      {"two", {malformed.Path(), L"--campaign", L"ab12-cd"}, 1, "name one document, or --campaign CODE"},
      {"wizard", {malformed.Path(), L"--wizard", L"bt"}, 1, "--wizard takes dlm or isv"},
      {"campaign", {L"--campaign", L"ab12"}, 1, "is not a campaign code"},
      {"option", {malformed.Path(), L"--fast"}, 1, "unexpected argument \"--fast\""},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
  }
  // The system's reason follows on the same line.
  const std::string missing = RunTool({L"C:\\brindle-rules-none.json"}).err;
  const std::string lead = "cannot read C:\\brindle-rules-none.json: ";
  const auto reason = missing.find(lead);
  ASSERT_NE(reason, std::string::npos) << missing;
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(missing[reason + lead.size()]))) << missing;
  const ToolRun asJson = RunTool({malformed.Path(), L"--json"});
  EXPECT_EQ(asJson.exitCode, 2u);
  EXPECT_TRUE(json::parse(asJson.out).at("error").get<std::string>().starts_with("[json.exception.parse_error"));
}

// Rejections are only noted, the no-show marker of an accepted offer is only read, and no work
// folder is made.
TEST(RulesToolUse, SendsNothingAndWritesNothing) {
  ServiceControl::Reset();
  const std::wstring marker = ScratchKey() + L"\\Unwritten";
  const DocumentFile file(
      Document(3, {Offer("shown", 1, {{"pn", true}, {"pnr", Narrow(marker) + "\\until"}}), Offer("same", 1)}));
  // Its own temporary folder, where a work folder would be made.
  const TemporaryFile inTemp(L"brindle-rules-temp-" + std::to_wstring(::GetCurrentProcessId()) + L"\\x");
  const ToolRun run = RunTool({file.Path(), L"--json"}, inTemp.Folder());
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(json::parse(run.out).at("offers").at(1).at("reported"), true);
  std::this_thread::sleep_for(std::chrono::seconds(1));  // what an event thread would have taken
  EXPECT_TRUE(ServiceControl::Events().empty());
  win32::UniqueHkey key;
  EXPECT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, marker.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()),
            ERROR_SUCCESS);
  const auto entries = std::filesystem::directory_iterator(inTemp.Folder());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the file the test made";
}

// As the wizard asks: its body, with the campaign code given instead of its file name's.
TEST(RulesToolUse, ACampaignIsAskedForAsTheWizardAsksForIt) {
  ServiceControl::Reset();
  ServiceControl::SetScenario("/o", json::array({{{"body", Document(1, json::array({Offer("served", 1)})).dump()}}}));
  const ToolRun run = RunTool({L"--campaign", L"ab12-cd", L"--json"});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  const json report = json::parse(run.out);
  EXPECT_EQ(report.at("source"), "campaign ab12-cd from https://localhost/o");
  EXPECT_EQ(report.at("offers").at(0).at("verdict"), "accepted");
  const json requests = ServiceControl::Requests("/o");
  ASSERT_EQ(requests.size(), 1u);
  const json body = json::parse(ServiceControl::Body(requests[0]));
  EXPECT_EQ(body.at("u"), "ab12-cd");
  EXPECT_EQ(body.at("i"), "Tavrel_DLM");
  EXPECT_FALSE(requests[0].at("headers").contains("Authorization"));

  ServiceControl::SetScenario("/o", json::array({{{"status", 404}}, {{"status", 404}}, {{"status", 404}}}));
  const ToolRun refused = RunTool({L"--campaign", L"ab12-cd"});
  EXPECT_EQ(refused.exitCode, 2u);
  EXPECT_NE(refused.err.find("no configuration from https://localhost/o"), std::string::npos) << refused.err;
}

}  // namespace
