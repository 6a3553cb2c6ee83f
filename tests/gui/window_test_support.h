#pragma once

// Small helpers shared by the window's GUI tests.

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <filesystem>
#include <vector>

#include "support/fake_seams.h"

namespace delvora::testing {

inline QString Sep() { return QString(QDir::separator()); }

// The standard error messages among the boxes shown.
inline std::vector<ShownBox> ErrorBoxes(const FakeMessageBoxes& boxes) {
  std::vector<ShownBox> errors;
  for (const ShownBox& box : boxes.shown) {
    if (box.caption == QLatin1String("Application Error")) errors.push_back(box);
  }
  return errors;
}

// Copies one of the shipped resources into the harness's program folder.
inline void InstallResource(const WindowHarness& harness, const QString& name) {
  const QString target = harness.program_folder + "/" + name;
  QDir().mkpath(QFileInfo(target).path());
  QFile::remove(target);
  QFile::copy(QStringLiteral(DELVORA_RESOURCES_DIR "/") + name, target);
}

// The window created and loaded with its skin (shipped as x/o.cjs) or
// without, as a user has it either way.
inline Form1& OpenWindow(WindowHarness& harness, bool skinned) {
  if (skinned) InstallResource(harness, QStringLiteral("x/o.cjs"));
  return harness.CreateAndLoad();
}

// Shown and active, as the window is on a desktop, so that keys reach it.
inline void ShowActive(Form1& window) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

inline QString Setting(WindowHarness& harness, const char* key) {
  return harness.settings().GetSetting(QLatin1String(key), QStringLiteral("<absent>"));
}

}  // namespace delvora::testing
