// The About box: icon, program name and version, notice, credit, contact and web lines.
#pragma once

#include <QDialog>

namespace rw {

inline constexpr const char* kAboutCaption = "About Reelwright";
inline constexpr const char* kAboutVersion = "reelwright, version 1.3";
inline constexpr const char* kAboutNotice = "Free software, no warranty.";
inline constexpr const char* kAboutCredit = "By the Reelwright team";
inline constexpr const char* kAboutContact = "Contact: see README.md";
inline constexpr const char* kAboutWeb = "Converts C&C VQA videos into AVI files.";

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace rw
