#pragma once

#include "app/ports/FileWriter.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace lunorvale {

class AppModel;

// Asks the user where to save a file. Tests replace it.
class SavePanel {
public:
    using Done = std::function<void(const std::optional<QString>& path)>;
    virtual ~SavePanel() = default;
    // Returns at once; `done` later gets the confirmed path (the panel has asked about replacing an
    // existing file), or nothing when the user cancelled.
    virtual void ask(const QString& title, const QString& proposedName, Done done) = 0;
};

// The system's save dialog: parentless (not a sheet of the window), JSON files only.
class FileDialogSavePanel final : public SavePanel {
public:
    void ask(const QString& title, const QString& proposedName, Done done) override;
};

// Writes the whole activity history to a file the user picks, whatever the page shows.
class HistoryExport final {
public:
    struct Services {
        std::shared_ptr<SavePanel> panel;   // null: the system's save dialog
        std::function<QDateTime()> now;     // null: the system clock
        std::shared_ptr<FileWriter> writer; // null: there is nowhere to write, nothing is asked
    };

    explicit HistoryExport(AppModel& model, Services services = {});

    // Opens the panel (nothing while a panel is open). On confirmation the history as the model holds
    // it then goes to the writer; the outcome goes to the status line.
    void start();
    bool isAsking() const { return m_asking; }

    // "Lunorvale-记录-2026-12-05.json": the calendar date in UTC.
    static QString proposedName(const QDateTime& now);
    // The sentence after "导出失败：" for a system error number.
    static QString failureSentence(int errorNumber);
    // Whether a path from the panel names a file on this machine that can be written as given.
    static bool isUsablePath(const QString& path);

private:
    void write(const QString& path);
    QDateTime now() const;

    QPointer<AppModel> m_model;
    Services m_services;
    bool m_asking = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace lunorvale
