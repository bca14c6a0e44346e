// The About box: icon, program name and version, notice, credit, contact and web lines.
#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>

namespace rw {

inline constexpr const char* kAboutCaption = "About Reelwright";
inline constexpr const char* kAboutVersion = "reelwright, version " RW_VERSION;
inline constexpr const char* kAboutNotice = "Free software, no warranty.";
inline constexpr const char* kAboutCredit = "By the Reelwright team";
inline constexpr const char* kAboutWeb = "Converts C&C VQA videos into AVI files.";

// The installed README.md: in the documentation folder found from the executable's folder (an
// installed tree under any prefix), else in the one of the configured prefix.
std::filesystem::path ReadmePath();

// "Contact: see " and where the README is.
QString AboutContactLine();

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace rw
