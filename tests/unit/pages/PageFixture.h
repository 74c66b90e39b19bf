#pragma once
// Pages in a hidden host window, sharing one language manager with the languages listed.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>

#include "TestPage.h"
#include "app/WizardFrame.h"
#include "i18n/LocaleTestSupport.h"
#include "offers/RunState.h"
#include "pages/test_ids.h"
#include "resources/resource.h"
#include "ui/ComboBox.h"

class PageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_host.Create(nullptr));
    m_manager->FillLanguageCombo(ui::ComboBox(m_combo.Get()));
  }

  std::unique_ptr<TestPage> MakePage() {
    auto page = std::make_unique<TestPage>(Context());
    EXPECT_TRUE(m_host.HostPage(*page));
    return page;
  }

  PageContext Context() { return {m_manager, &m_host, m_config, std::make_shared<RunState>()}; }

  std::shared_ptr<ConfigurationManager> m_config = testsupport::MakeConfig(L"DLM");
  std::shared_ptr<testsupport::TestLanguageManager> m_manager =
      std::make_shared<testsupport::TestLanguageManager>(m_config);
  WizardFrame m_host{IDD_BRINDLE_DIALOG, m_config};  // the wizard's own frame
  testsupport::ScratchCombo m_combo;
};
