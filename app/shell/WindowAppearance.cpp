#include "app/shell/WindowAppearance.h"

#include <QGuiApplication>

namespace lunorvale {

WindowAppearance::WindowAppearance(ColorSchemePortal* portal, Apply apply, QObject* parent)
    : QObject(parent), m_portal(portal), m_apply(std::move(apply)),
      m_desktop(Palette::appearanceOf(QGuiApplication::palette())) {
    if (m_portal)
        connect(m_portal, &ColorSchemePortal::schemeChanged, this, &WindowAppearance::update);
    update();
}

Appearance WindowAppearance::resolve(const QString& setting, std::optional<ColorSchemePortal::Scheme> portal,
                                     Appearance desktop) {
    if (setting == QLatin1String("dark"))
        return Appearance::dark;
    if (setting == QLatin1String("light"))
        return Appearance::light;
    if (portal)
        return *portal == ColorSchemePortal::Scheme::dark ? Appearance::dark : Appearance::light;
    return desktop;
}

void WindowAppearance::setSetting(const QString& setting) {
    m_setting = setting;
    update();
}

void WindowAppearance::update() {
    m_current = resolve(m_setting, m_portal ? m_portal->scheme() : std::nullopt, m_desktop);
    if (m_applied == m_current)
        return;
    m_applied = m_current;
    if (m_apply)
        m_apply(m_current);
    emit changed();
}

} // namespace lunorvale
