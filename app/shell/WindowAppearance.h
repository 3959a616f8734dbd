#pragma once

#include "platform/desktop/ColorSchemePortal.h"
#include "ui/kit/Palette.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace lunorvale {

// The one place the appearance setting becomes the look of every window: "light" and "dark" force
// it; "system" follows the desktop portal's colour scheme (dark only when it says dark), and, without
// a portal, the lightness of the desktop's own palette as it was before the program changed it.
class WindowAppearance final : public QObject {
    Q_OBJECT

public:
    using Apply = std::function<void(Appearance)>;

    // `portal` may be null (no desktop portal asked, as in a screenshot run). `apply` makes every
    // window draw in an appearance; by default the kit's palette for the whole program.
    explicit WindowAppearance(ColorSchemePortal* portal, Apply apply = &Palette::apply,
                              QObject* parent = nullptr);

    void setSetting(const QString& setting);
    Appearance current() const { return m_current; }

    static Appearance resolve(const QString& setting, std::optional<ColorSchemePortal::Scheme> portal,
                              Appearance desktop);

signals:
    void changed();

private:
    void update();

    ColorSchemePortal* m_portal;
    Apply m_apply;
    Appearance m_desktop;
    QString m_setting = QStringLiteral("system");
    std::optional<Appearance> m_applied;
    Appearance m_current = Appearance::light;
};

} // namespace lunorvale
