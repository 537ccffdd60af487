// Helpers of the update panel tests: two sites with files at known times, the
// saved managed file list, and checks of the panel's view.
#pragma once

#include <QtTest/QtTest>
#include <ctime>
#include <string>
#include <vector>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "gui_test_support.h"
#include "platform/files.h"

// Runs a helper that checks, and ends the test function when it failed.
#define TOVRA_CHECKED(...)                  \
  do {                                      \
    __VA_ARGS__;                            \
    if (QTest::currentTestFailed()) return; \
  } while (false)

namespace tovra::test {

constexpr std::time_t kSaved = 1600000000;      // every page's time when the list is saved
constexpr std::time_t kEdited = kSaved + 3600;  // an edit an hour later

void SetWriteTime(const std::string& path, std::time_t written);

// Two sites with three files each, every file written at kSaved.
struct TwoSites : AppFolderFixture {
  std::string rootA = dir.Sub("siteA");
  std::string rootB = dir.Sub("siteB");
  explicit TwoSites(int portA = 21, int portB = 21);
  std::string A(const char* name) const { return JoinPath(rootA, name); }
  std::string B(const char* name) const { return JoinPath(rootB, name); }
};

// The managed file list as closing the window writes it, made by the
// window's own check object.
void SaveBaseline(TForm1* form);

// The panel's rows, all and ticked, in list order.
std::vector<std::string> Rows(TForm1* form);
std::vector<std::string> CheckedRows(TForm1* form);
// Ticks (or unticks) the row of that path.
void Tick(TForm1* form, const std::string& path, Qt::CheckState state = Qt::Checked);

// The panel shows `site`'s files (in any order): the tree, list and splitter
// hidden, the four controls disabled, every row unticked, the site selected.
void ExpectPanelFor(TForm1* form, const std::string& site, const std::vector<std::string>& files);
// Back to the normal view: all four controls enabled, the web check
// regardless of the file list's selection.
void ExpectNormalView(TForm1* form);
// Presses the upload button and waits for the run to complete.
void UploadTicked(TForm1* form);

}  // namespace tovra::test
