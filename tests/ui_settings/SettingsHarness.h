#pragma once

// A settings page over a model whose files live in a temporary folder, with an opener and an alert
// presenter that record what they are asked.

#include "model/ModelHarness.h"
#include "ui/kit/LVAlert.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SettingsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace lunorvale::test {

struct RecordingOpener final : DesktopOpener {
    QStringList log; // "notification-settings", "login-settings", "login-items", "url:URL"
    bool hasNotificationSettings = false;

    bool openNotificationSettings() override {
        log.append(QStringLiteral("notification-settings"));
        return hasNotificationSettings;
    }
    void openLoginItemSettings() override { log.append(QStringLiteral("login-settings")); }
    void revealLoginItems() override { log.append(QStringLiteral("login-items")); }
    bool openURL(const QUrl& url) override {
        log.append(QStringLiteral("url:") + url.toString());
        return true;
    }
};

struct Alert {
    QString title;
    QString message;
    QStringList buttons; // left to right
    QString defaultButton;
    QString escapeButton;
    bool destructive = false; // the confirming button is drawn destructive
};

struct SettingsHarness {
    ModelHarness h;
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    std::shared_ptr<DesktopOpener> desktop; // given to the page instead of `opener` when set
    QList<Alert> alerts;
    QString answer = QStringLiteral("取消"); // the button every alert is answered with
    QWidget window;                          // the main window the page is one page of
    std::unique_ptr<SettingsView> view;

    SettingsServices services() {
        SettingsServices services;
        services.opener = desktop ? desktop : opener;
        services.presentAlert = [this](LVAlert& box) {
            Alert alert{box.text().title,
                        box.text().message,
                        {},
                        box.defaultButton()->text(),
                        {},
                        box.buttons().last()->kind() == LVButtonKind::danger};
            for (const LVButton* button : box.buttons())
                alert.buttons.append(button->text());
            // Escape closes the alert with the button it stands for.
            QTest::keyClick(&box, Qt::Key_Escape);
            alert.escapeButton = alert.buttons.value(box.chosen());
            alerts.append(alert);
            return static_cast<int>(alert.buttons.indexOf(answer));
        };
        return services;
    }

    // A page over a new model (a new run of the program) on the same folder.
    SettingsView& open(const std::optional<QString>& preview = std::nullopt, bool previewModel = false) {
        view.reset();
        AppModel& model = h.start(previewModel);
        if (previewModel && preview) {
            model.configurePreview(*preview);
            model.setPreviewAIConfiguration(
                {QStringLiteral("https://api.deepseek.com"), QStringLiteral("deepseek-v4-flash")});
            model.configureAIStatusPreview(QStringLiteral("settings-") + *preview);
        }
        SettingsServices given = services();
        if (previewModel) {
            // What the program gives a screenshot run.
            const std::shared_ptr<PreviewDesktop>& desktop = h.preview->desktop();
            given.opener = std::shared_ptr<DesktopOpener>(desktop, desktop.get());
        }
        view = std::make_unique<SettingsView>(model, preview, std::nullopt, std::move(given), &window);
        view->resize(1132, 760);
        window.resize(1132, 760);
        window.show();
        view->show();
        QApplication::processEvents();
        return *view;
    }

    // Another page takes this one's place, then the page comes back.
    void leaveAndReturn() {
        view->hide();
        view->show();
        QApplication::processEvents();
    }

    QByteArray file(const QString& name) const {
        QFile file(h.path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::optional<QJsonValue> stored(const QString& key) { return h.store().value(key); }
};

// The text a widget shows, whatever kind it is.
inline QString shownText(const QWidget* widget) {
    if (const auto* text = qobject_cast<const LVText*>(widget))
        return text->text();
    if (const auto* text = qobject_cast<const LVSelectableText*>(widget))
        return text->text();
    if (const auto* field = qobject_cast<const QLineEdit*>(widget))
        return field->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}

// Every text shown by `root`'s visible widgets, in creation order.
inline QStringList visibleTexts(const QWidget* root) {
    QStringList texts;
    for (const QWidget* widget : root->findChildren<QWidget*>())
        if (widget->isVisibleTo(root) && !shownText(widget).isEmpty())
            texts.append(shownText(widget));
    return texts;
}

// The visible, enabled button with this text.
inline QAbstractButton* button(const QWidget* root, const QString& text) {
    for (QAbstractButton* candidate : root->findChildren<QAbstractButton*>())
        if (candidate->text() == text && candidate->isVisibleTo(root))
            return candidate;
    return nullptr;
}

inline void click(const QWidget* root, const QString& text) {
    QAbstractButton* target = button(root, text);
    ASSERT_TRUE(target) << text.toStdString();
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    QApplication::processEvents();
}

// Types into a field as a user would: everything selected first.
inline void type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QApplication::processEvents();
}

inline void show(SettingsView& page, SettingsSection section) {
    QTest::mouseClick(page.picker(), Qt::LeftButton, {},
                      page.picker()->segmentRect(static_cast<int>(section)).center());
    QApplication::processEvents();
}

// Opens the menu with Space and chooses `steps` items below the current one with the arrows and Return.
inline void choose(ChoiceMenu* menu, int steps) {
    menu->setFocus();
    QTest::keyClick(menu, Qt::Key_Space);
    ASSERT_TRUE(menu->menu()->isVisible());
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(menu->menu(), Qt::Key_Down);
    QTest::keyClick(menu->menu(), Qt::Key_Return);
    QApplication::processEvents();
}

} // namespace lunorvale::test
