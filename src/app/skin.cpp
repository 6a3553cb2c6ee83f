#include "app/skin.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QWidget>

#include "platform/app_error.h"

namespace delvora {

namespace {

constexpr qint64 kMaxSkinBytes = 1024 * 1024;

[[noreturn]] void Malformed(const QString& why) {
  throw StandardError(kErrInvalidFormat, why.toStdString());
}

bool RoleByName(const QString& name, QPalette::ColorRole* role) {
  static const std::pair<const char*, QPalette::ColorRole> kRoles[] = {
      {"Window", QPalette::Window},
      {"WindowText", QPalette::WindowText},
      {"Base", QPalette::Base},
      {"AlternateBase", QPalette::AlternateBase},
      {"Text", QPalette::Text},
      {"Button", QPalette::Button},
      {"ButtonText", QPalette::ButtonText},
      {"Highlight", QPalette::Highlight},
      {"HighlightedText", QPalette::HighlightedText},
      {"ToolTipBase", QPalette::ToolTipBase},
      {"ToolTipText", QPalette::ToolTipText},
      {"PlaceholderText", QPalette::PlaceholderText},
      {"Light", QPalette::Light},
      {"Midlight", QPalette::Midlight},
      {"Mid", QPalette::Mid},
      {"Dark", QPalette::Dark},
      {"Shadow", QPalette::Shadow},
  };
  for (const auto& [text, value] : kRoles) {
    if (name == QLatin1String(text)) {
      *role = value;
      return true;
    }
  }
  return false;
}

}  // namespace

SkinDefinition ParseSkin(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  const QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.isEmpty() || lines.first().trimmed() != QLatin1String("Delvora skin 1")) {
    Malformed(QStringLiteral("not a Delvora skin"));
  }
  SkinDefinition skin;
  qsizetype at = 1;
  bool style_found = false;
  for (; at < lines.size(); ++at) {
    const QString line = lines[at].trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
    if (line == QLatin1String("@style")) {
      style_found = true;
      ++at;
      break;
    }
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.first() == QLatin1String("@name") && words.size() >= 2) {
      skin.name = line.mid(5).trimmed();
    } else if (words.first() == QLatin1String("@palette") && words.size() == 3) {
      QPalette::ColorRole role{};
      if (!RoleByName(words[1], &role)) Malformed("unknown colour role " + words[1]);
      const QColor colour(words[2]);
      if (!colour.isValid()) Malformed("bad colour " + words[2]);
      skin.colours.emplace_back(role, colour);
    } else {
      Malformed("line " + QString::number(at + 1));
    }
  }
  if (!style_found) Malformed(QStringLiteral("no @style section"));
  skin.style_sheet = lines.mid(at).join(QLatin1Char('\n'));
  return skin;
}

void SkinFramework::LoadSkin(const QString& path, const QString& skin_name) {
  QFile file(path);
  if (!QFileInfo::exists(path)) throw StandardError(kErrFileNotFound);
  if (!file.open(QIODevice::ReadOnly)) throw StandardError(kErrPathFileAccess);
  if (file.size() > kMaxSkinBytes) Malformed(QStringLiteral("too large"));
  SkinDefinition skin = ParseSkin(file.read(kMaxSkinBytes + 1));
  if (!skin_name.isEmpty() && skin_name != skin.name) Malformed("no skin named " + skin_name);
  skin_ = std::move(skin);
  loaded_ = true;
}

void SkinFramework::ApplyWindow(QWidget* window) {
  if (!loaded_ || window == nullptr) return;
  if (apply_colours_ && !skin_.colours.empty()) {
    QPalette palette = window->palette();
    for (const auto& [role, colour] : skin_.colours) palette.setColor(role, colour);
    window->setPalette(palette);
    // Controls that carry their own background take the skin's too.
    for (QWidget* child : window->findChildren<QWidget*>()) {
      if (child->isWindow()) continue;
      if (child->testAttribute(Qt::WA_SetPalette)) {
        QPalette own = child->palette();
        for (const auto& [role, colour] : skin_.colours) own.setColor(role, colour);
        child->setPalette(own);
      }
    }
  }
  if (apply_style_) {
    if (options_ & kOptionSkinDialogs) {
      // Dialogs and message boxes are children of the window and inherit it.
      window->setStyleSheet(skin_.style_sheet);
    } else {
      for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) child->setStyleSheet(skin_.style_sheet);
      }
    }
  }
}

}  // namespace delvora
