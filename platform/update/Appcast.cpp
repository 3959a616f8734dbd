#include "platform/update/Appcast.h"

#include "platform/update/UpdateFailureText.h"

#include <QXmlStreamReader>

namespace lunorvale::Appcast {
namespace {

[[noreturn]] void invalid(const QString& reason) {
    throw UpdateError::make(UpdateError::appcastInvalid, QStringLiteral("更新信息无法读取。"), reason,
                            QStringLiteral("请稍后重试。"));
}

enum class RunKind { letters, separator, number }; // in the order a differing run ranks

struct Run {
    RunKind kind;
    QStringView text;
};

RunKind kindOf(QChar c) {
    if (c >= u'0' && c <= u'9')
        return RunKind::number;
    return c.isLetter() ? RunKind::letters : RunKind::separator;
}

// The next run of `version` starting at `from`; empty at the end.
Run runAt(QStringView version, qsizetype from) {
    if (from >= version.size())
        return {RunKind::separator, {}};
    const RunKind kind = kindOf(version[from]);
    qsizetype end = from + 1;
    while (end < version.size() && kindOf(version[end]) == kind)
        ++end;
    return {kind, version.mid(from, end - from)};
}

std::strong_ordering compareNumbers(QStringView left, QStringView right) {
    // Compared as text so that no length of digits overflows.
    while (left.size() > 1 && left.front() == u'0')
        left = left.mid(1);
    while (right.size() > 1 && right.front() == u'0')
        right = right.mid(1);
    if (left.size() != right.size())
        return left.size() <=> right.size();
    return left.compare(right) <=> 0;
}

struct ItemFields {
    AppcastItem item;
    QString itemVersion, itemDisplayVersion;
    QString enclosureVersion, enclosureDisplayVersion;
    bool hasEnclosure = false;
    bool otherSystem = false;
};

bool isUpdateElement(const QXmlStreamReader& reader, QLatin1String name) {
    return reader.namespaceUri() == QLatin1String(updateNamespace) && reader.name() == name;
}

void readEnclosure(const QXmlStreamAttributes& attributes, ItemFields& fields) {
    const QLatin1String ns(updateNamespace);
    fields.hasEnclosure = true;
    fields.item.url = QUrl(attributes.value(QLatin1String("url")).toString().trimmed(), QUrl::StrictMode);
    bool ok = false;
    const qint64 length = attributes.value(QLatin1String("length")).trimmed().toLongLong(&ok);
    fields.item.length = ok ? length : 0;
    fields.item.edSignature = attributes.value(ns, QLatin1String("edSignature")).toString().trimmed();
    fields.enclosureVersion = attributes.value(ns, QLatin1String("version")).toString().trimmed();
    fields.enclosureDisplayVersion =
        attributes.value(ns, QLatin1String("shortVersionString")).toString().trimmed();
    const QStringView os = attributes.value(ns, QLatin1String("os"));
    fields.otherSystem = !os.isEmpty() && os.compare(QLatin1String("linux"), Qt::CaseInsensitive) != 0;
}

std::optional<AppcastItem> finish(ItemFields fields) {
    AppcastItem item = std::move(fields.item);
    item.version = fields.itemVersion.isEmpty() ? fields.enclosureVersion : fields.itemVersion;
    item.displayVersion =
        fields.itemDisplayVersion.isEmpty() ? fields.enclosureDisplayVersion : fields.itemDisplayVersion;
    if (item.displayVersion.isEmpty())
        item.displayVersion = item.version;
    if (!fields.hasEnclosure || fields.otherSystem || item.version.isEmpty() || !item.url.isValid() ||
        item.url.isRelative())
        return std::nullopt;
    return item;
}

} // namespace

QList<AppcastItem> parse(const QByteArray& xml) {
    if (xml.size() > maximumBytes)
        invalid(QStringLiteral("更新信息超过 1 MB。"));
    QXmlStreamReader reader(xml);
    QList<AppcastItem> items;
    std::optional<ItemFields> current;
    int depth = 0;
    int itemDepth = 0;
    bool sawRss = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (current && depth == itemDepth) {
                if (auto item = finish(std::move(*current)))
                    items.append(std::move(*item));
                current.reset();
            }
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (depth == 1) {
            if (reader.name() != QLatin1String("rss"))
                invalid(QStringLiteral("根元素不是 rss。"));
            sawRss = true;
            continue;
        }
        if (!current) {
            if (reader.name() == QLatin1String("item") && reader.namespaceUri().isEmpty()) {
                current.emplace();
                itemDepth = depth;
            }
            continue;
        }
        if (depth != itemDepth + 1)
            continue;
        // Direct children of an item.
        if (reader.namespaceUri().isEmpty()) {
            if (reader.name() == QLatin1String("enclosure"))
                readEnclosure(reader.attributes(), *current);
            else if (reader.name() == QLatin1String("title"))
                current->item.title =
                    reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            else if (reader.name() == QLatin1String("description"))
                current->item.releaseNotes =
                    reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            else
                continue;
        } else if (isUpdateElement(reader, QLatin1String("version"))) {
            current->itemVersion = reader.readElementText().trimmed();
        } else if (isUpdateElement(reader, QLatin1String("shortVersionString"))) {
            current->itemDisplayVersion = reader.readElementText().trimmed();
        } else if (isUpdateElement(reader, QLatin1String("criticalUpdate"))) {
            current->item.critical = true;
            continue;
        } else {
            continue;
        }
        // readElementText consumed the end element of a direct child.
        if (reader.tokenType() == QXmlStreamReader::EndElement)
            --depth;
    }
    if (reader.hasError())
        invalid(UpdateFailureText::feed(reader.error()));
    if (!sawRss)
        invalid(QStringLiteral("没有 rss 元素。"));
    return items;
}

std::strong_ordering compareVersions(QStringView left, QStringView right) {
    left = left.trimmed();
    right = right.trimmed();
    qsizetype l = 0, r = 0;
    while (l < left.size() && r < right.size()) {
        const Run a = runAt(left, l), b = runAt(right, r);
        if (a.kind != b.kind)
            return a.kind <=> b.kind;
        if (a.kind == RunKind::number) {
            if (const auto order = compareNumbers(a.text, b.text); order != 0)
                return order;
        } else if (a.kind == RunKind::letters) {
            if (const int order = a.text.compare(b.text); order != 0)
                return order <=> 0;
        }
        l += a.text.size();
        r += b.text.size();
    }
    if (l < left.size())
        return runAt(left, l).kind == RunKind::letters ? std::strong_ordering::less
                                                       : std::strong_ordering::greater;
    if (r < right.size())
        return runAt(right, r).kind == RunKind::letters ? std::strong_ordering::greater
                                                        : std::strong_ordering::less;
    return std::strong_ordering::equal;
}

std::optional<AppcastItem> bestItem(const QList<AppcastItem>& items, const QString& currentVersion,
                                    const std::optional<QString>& skippedVersion) {
    const AppcastItem* best = nullptr;
    for (const AppcastItem& item : items) {
        if (compareVersions(item.version, currentVersion) <= 0)
            continue;
        if (skippedVersion && compareVersions(item.version, *skippedVersion) <= 0)
            continue;
        if (!best || compareVersions(item.version, best->version) > 0)
            best = &item;
    }
    return best ? std::optional(*best) : std::nullopt;
}

} // namespace lunorvale::Appcast
