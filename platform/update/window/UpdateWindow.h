#pragma once

#include "platform/update/UpdatePrompt.h"

#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace lunorvale {

// The small window of the update layer: a release with "跳过这个版本", "稍后提醒" and "安装更新"
// (after the download: "退出时安装" and "现在安装并重启"), the download's progress with "取消", or a
// note with "好". Texts from the feed are shown as plain text. Closing the window counts as "later";
// closed during a download, it lets the download go on. Each time it appears it is centred over the
// program's main window, or on the screen while that window is closed.
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Mode { offer, progress, message };

    void present(Mode mode);
    void placeCentred();
    void choose(UpdateChoice choice);

    std::function<QWidget*()> m_mainWindow;
    Mode m_mode = Mode::message;
    std::function<void(UpdateChoice)> m_choose;
    std::function<void()> m_cancel;
    QLabel* m_title;
    QLabel* m_text;
    QPlainTextEdit* m_notes;
    QLabel* m_restriction;
    QProgressBar* m_progress;
    QPushButton* m_skip;
    QPushButton* m_later;
    QPushButton* m_install;
    QPushButton* m_cancelButton;
    QPushButton* m_ok;
};

} // namespace lunorvale
