#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace lunorvale {

// The six service choices of the settings; never stored, always recognised again from the address.
class AIServicePreset final {
public:
    enum class Kind { deepSeek, openAI, aliyunBeijing, aliyunSingapore, ollama, custom };

    constexpr AIServicePreset(Kind kind = Kind::custom) : m_kind(kind) {}

    static const QList<AIServicePreset>& allCases();
    // Exactly the six raw values, case-sensitive.
    static std::optional<AIServicePreset> fromRawValue(const QString& rawValue);
    // The preset a base address belongs to; `custom` when nothing else matches.
    static AIServicePreset matching(const QString& baseURL);

    Kind kind() const { return m_kind; }
    QString rawValue() const;
    QString id() const { return rawValue(); }
    QString title() const;
    // Already in canonical form; empty for `custom`.
    QString baseURL() const;
    QStringList models() const;
    QString hint() const;
    std::optional<QUrl> documentationURL() const;

    friend bool operator==(AIServicePreset a, AIServicePreset b) { return a.m_kind == b.m_kind; }

private:
    Kind m_kind;
};

inline size_t qHash(AIServicePreset preset, size_t seed = 0) {
    return ::qHash(static_cast<int>(preset.kind()), seed);
}

} // namespace lunorvale
