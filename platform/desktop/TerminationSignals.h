#pragma once

#include <QObject>

class QSocketNotifier;

namespace lunorvale {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the main thread, so the program ends through its
// ordinary shutdown (no quit confirmation: the session or the user's terminal asked for it).
// At most one object exists at a time; the default handlers return when it is destroyed.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int m_readFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace lunorvale
