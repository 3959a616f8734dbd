#pragma once

#include "app/shell/StatusItemText.h"

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace lunorvale {

// The program's tray icon: the "waveform.path.ecg" glyph on an accent tile, the reminder count and
// the update arrow painted in as small badges in its corners (tray hosts show no text beside an icon),
// the same stated in the tooltip. A left click, or a host's activation, is `clicked`; the context menu serves
// hosts that pass no left clicks on.
class StatusItem final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString toolTip READ toolTip NOTIFY changed)

public:
    // `contextMenu` stays the caller's.
    explicit StatusItem(QMenu* contextMenu, QObject* parent = nullptr);
    ~StatusItem() override;

    // Repaints the icon and the tooltip, only when the state differs from the one shown.
    void show(const StatusItemState& state);

    const QString& title() const { return m_title; }
    const QString& toolTip() const { return m_toolTip; }
    // The icon's place on the screen, where the tray host tells it.
    std::optional<QRect> geometry() const;

    // Whether a tray host is there to show the icon now.
    static bool isHostAvailable();
    // The icon for a state, at the sizes tray hosts ask for: the count in a badge at the top right
    // corner ("9+" beyond nine), an arrow in one at the bottom right while an update is on offer. The
    // badges leave the waveform between them readable down to 16 px.
    static QIcon icon(const StatusItemState& state);
    static QPixmap iconPixmap(int side, const StatusItemState& state);

signals:
    void changed();
    void clicked();

private:
    QSystemTrayIcon* m_tray;
    // Asked once, as Qt's tray icon chooses its host once.
    bool m_hostReadsMarkup;
    std::optional<StatusItemState> m_shown;
    QString m_title;
    QString m_toolTip = QStringLiteral("岚栖 · 观察这台电脑");
};

} // namespace lunorvale
