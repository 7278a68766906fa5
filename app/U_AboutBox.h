#pragma once

// The about box: the maker, the product, its start, its version, web and e-mail addresses and
// a picture. Opened by a click on the entry window's status bar; the entry window also creates
// it for a moment to read the version number. The version comes from the build (BL_VERSION,
// the CMake project version).

#include <QDialog>
#include <QImage>
#include <QString>

class QCloseEvent;
class QFrame;
class QKeyEvent;
class QLabel;
class QToolButton;

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    ~TAboutBox() override;

    // The version number as shown ("1.0.0"); the status bar shows "Versão " + this.
    QString versionText() const;
    // The version number of this build, without creating the window.
    static QString versionNumber();

    QFrame *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;   // the picture, 255 x 172
    QLabel *Copyright = nullptr;     // the maker's company name
    QLabel *ProductName = nullptr;
    QLabel *StartDate = nullptr;     // MM/YYYY
    QLabel *Version = nullptr;
    QLabel *Internet = nullptr;
    QLabel *EMail = nullptr;
    QToolButton *OKButton = nullptr; // the only way to close the window

    // Why the picture could not be decoded; empty when it was.
    const QString &pictureError() const { return m_pictureError; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_pictureError;
};
