#include "ui/window/HistoryExport.h"

#include "app/model/AppModel.h"
#include "core/common/ErrorCause.h"
#include "core/monitoring/LocalHistoryStore.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace lunorvale {

void FileDialogSavePanel::ask(const QString& title, const QString& proposedName, Done done) {
    auto* dialog = new QFileDialog(nullptr, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("JSON (*.json)"));
    dialog->setDefaultSuffix(QStringLiteral("json"));
    // The documents folder is named even where it does not exist, and a dialog asked to start in a
    // missing folder starts in the working directory instead: the home folder then.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(!documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath());
    dialog->selectFile(proposedName);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? std::optional(files.first()) : std::nullopt);
    });
    dialog->open();
}

HistoryExport::HistoryExport(AppModel& model, Services services)
    : m_model(&model), m_services(std::move(services)) {
    if (!m_services.panel)
        m_services.panel = std::make_shared<FileDialogSavePanel>();
}

QDateTime HistoryExport::now() const {
    return m_services.now ? m_services.now() : QDateTime::currentDateTimeUtc();
}

void HistoryExport::start() {
    if (!m_model || !m_services.writer || m_asking)
        return;
    m_asking = true;
    std::weak_ptr<bool> alive = m_alive;
    m_services.panel->ask(QStringLiteral("导出岚栖操作记录"), proposedName(now()),
                          [this, alive](const std::optional<QString>& path) {
                              if (alive.expired())
                                  return;
                              m_asking = false;
                              if (path)
                                  write(*path);
                          });
}

void HistoryExport::write(const QString& path) {
    if (!m_model)
        return;
    QString sentence;
    if (!isUsablePath(path)) {
        sentence = QStringLiteral("所选位置无效。");
    } else {
        try {
            m_services.writer->write(path, LocalHistoryStore::exportData(m_model->history(), now()));
            m_model->setStatusMessage(QStringLiteral("操作记录已导出。"));
            return;
        } catch (const FileWriter::Failure& error) {
            sentence = failureSentence(error.errorNumber());
        }
    }
    m_model->setStatusMessage(QStringLiteral("导出失败：") + sentence);
}

QString HistoryExport::proposedName(const QDateTime& now) {
    return QStringLiteral("Lunorvale-记录-") + now.toUTC().date().toString(Qt::ISODate) +
           QStringLiteral(".json");
}

QString HistoryExport::failureSentence(int errorNumber) {
    return ErrorCause::sentence(errorNumber);
}

bool HistoryExport::isUsablePath(const QString& path) {
    // A NUL would cut the path short where the system reads it: another file would be written.
    if (!path.startsWith(u'/') || path.endsWith(u'/') || path.contains(QChar(0)))
        return false;
    const QString name = path.section(u'/', -1);
    return name != u"." && name != u"..";
}

} // namespace lunorvale
