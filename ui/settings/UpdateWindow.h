#pragma once

#include "app/ports/UpdatePrompt.h"

#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace lunorvale {

class LVButton;

// The update layer's window, given to it as its UpdatePrompt: a release with "跳过这个版本", "稍后提醒" and
// "安装更新" (after the download: "退出时安装" and "现在安装并重启"), the download's progress with "取消", or
// a note with "好". Texts from the feed are shown as plain text. Closing the window counts as "later"; closed
// during a download, it lets the download go on. Each time it appears it is centred over the program's main
// window, or on the screen while that window is closed, in front and active. Its buttons are the kit's: the
// one Return takes ("安装更新" or "现在安装并重启", else "好"; "稍后提醒" where nothing can be installed) is
// drawn as the default, and Escape means "稍后提醒" (or "退出时安装"), as closing does. During a download
// Return does nothing until "取消" is reached with Tab.
class UpdateWindow final : public QWidget, public UpdatePrompt {
public:
    // `mainWindow` names the program's main window (null or hidden: none).
    explicit UpdateWindow(std::function<QWidget*()> mainWindow = {}, QWidget* parent = nullptr);

    void showUpdate(const UpdateOffer& offer, std::function<void(UpdateChoice)> choose) override;
    void showProgress(const AppcastItem& item, qint64 received, qint64 total,
                      std::function<void()> cancel) override;
    void showMessage(const QString& title, const QString& text) override;
    void withdraw() override;

    // Why this installation cannot take the offered release, or an empty text when it can.
    static QString installRestriction(InstallKind kind);

    // The button Return takes now; null where Return does nothing (during a download).
    LVButton* defaultButton() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Mode { offer, progress, message };

    void present(Mode mode);
    void placeCentred();
    void choose(UpdateChoice choice);

    std::function<QWidget*()> m_mainWindow;
    Mode m_mode = Mode::message;
    // How many times the window was given something to show.
    quint64 m_presentations = 0;
    std::function<void(UpdateChoice)> m_choose;
    std::function<void()> m_cancel;
    QLabel* m_title;
    QLabel* m_text;
    QPlainTextEdit* m_notes;
    QLabel* m_restriction;
    QProgressBar* m_progress;
    LVButton* m_skip;
    LVButton* m_later;
    LVButton* m_install;
    LVButton* m_cancelButton;
    LVButton* m_ok;
};

} // namespace lunorvale
