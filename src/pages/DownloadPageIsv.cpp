// The installer wizard's download page (DownloadPages.h): a file of its own, so a download-manager
// wizard, whose page factory never makes it, does not carry it.
#include "pages/DownloadPages.h"

#include "config/ConfigurationManager.h"
#include "offers/Package.h"
#include "resources/resource.h"

std::wstring ClassicCommandLine(const std::array<bool, 8>& options) {
  // Positions 1 to 16: an element of the options, or a fixed character.
  constexpr int kSource[16] = {5, 6, 3, -1, -1, 4, -1, -2, -1, -2, 7, 5, 1, 2, 0, -1};
  std::wstring line = L"/S /FORCEINSTALL ";
  for (const int source : kSource) {
    if (source == -1) {
      line += L'0';
    } else if (source == -2) {
      line += L'1';
    } else {
      line += options[static_cast<std::size_t>(source)] ? L'1' : L'0';
    }
  }
  return line;
}

DownloadPageIsv::DownloadPageIsv(const PageContext& context)
    : DownloadPage(context, PageKind::DownloadIsv, IDD_DOWNLOAD_PAGE_ISV) {}

bool DownloadPageIsv::OnInitDialog() {
  DownloadPage::OnInitDialog();
  m_icon.LoadFromResource(IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB");
  return true;
}

void DownloadPageIsv::SetInstallNotifications(std::function<void()> started, std::function<void()> finished) {
  m_onInstallStarted = std::move(started);
  m_onInstallFinished = std::move(finished);
}

void DownloadPageIsv::OnDownloadsDone() {
  if (m_onInstallStarted) m_onInstallStarted();
  SetMarquee();
  StartNextInstall();
}

std::wstring DownloadPageIsv::MainInstallerParameters() const {
  const auto& config = m_config;
  return config->btClassicPages ? ClassicCommandLine(config->classicOptions) : config->productInstallParameters;
}

void DownloadPageIsv::StartNextInstall() {
  if (m_installQueue.empty()) {
    if (m_onInstallFinished) m_onInstallFinished();
    Conclude("PAGE_ERROR_TITLE", "PAGE_ERROR_TEXT");
    return;
  }
  if (Exiting()) return;
  const InstallItem& item = m_installQueue.front();
  const bool main = item.package->m_isMainProduct;
  StartInstall(item, main ? MainInstallerParameters() : item.package->GetInstallerArgs(), main);
}

void DownloadPageIsv::OnInstallerEnded(const InstallItem& item, const InstallStart& start) {
  if (item.package->m_isMainProduct) {
    if (m_onInstallFinished) m_onInstallFinished();
    // The installer that ran: for a ZIP product, the one unpacked from it.
    m_mainInstallerPath = start.program;
    if (!start.result.started || start.result.exitCode != 0) {
      ReportFailure(*item.package, L"EXEC FAILED: " + start.result.text);
      m_mainFailed = true;
    } else {
      m_config->productFilePath = m_mainInstallerPath;
      item.package->SendEvent(EVENT_FINISHED, {});
    }
  } else {
    ReportOfferStart(item, start.result);
  }
  StartNextInstall();
}
