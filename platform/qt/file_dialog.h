// The open-file dialog, behind an interface so tests can choose files without a window.
#pragma once

#include <QString>

class QWidget;

namespace rw {

class OpenFileDialog {
  public:
    virtual ~OpenFileDialog() = default;
    // Lets the user pick one existing file. `filter` is a Qt name filter ("Text (*.txt)");
    // `defaultSuffix` is appended to a typed name without extension. Returns the full path of the
    // chosen file, or an empty string when the user cancelled.
    virtual QString GetOpenFileName(const QString& filter, const QString& defaultSuffix) = 0;
    // Lets the user pick an existing folder (creating one on the way is allowed); `title` says
    // what it is for. Returns its full path, or an empty string when the user cancelled.
    virtual QString GetExistingFolder(const QString& title) = 0;
};

class QtOpenFileDialog final : public OpenFileDialog {
  public:
    QString GetOpenFileName(const QString& filter, const QString& defaultSuffix) override;
    QString GetExistingFolder(const QString& title) override;
};

}  // namespace rw
