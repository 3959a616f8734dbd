#include "platform/network/BoundedReply.h"
#include "support/EventLoop.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <gtest/gtest.h>
#include <memory>

using namespace lunorvale;
using namespace std::chrono_literals;

namespace {

// A reply whose status, length and body the test hands over one step at a time.
class ScriptedReply final : public QNetworkReply {
public:
    explicit ScriptedReply(QObject* owner) : QNetworkReply(owner) { open(QIODevice::ReadOnly); }
    void head(int status, std::optional<qint64> length = std::nullopt) {
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
        if (length)
            setHeader(QNetworkRequest::ContentLengthHeader, *length);
        emit metaDataChanged();
    }
    void body(const QByteArray& bytes) {
        m_pending += bytes;
        emit readyRead();
    }
    void end(NetworkError error) {
        setError(error, QString());
        setFinished(true);
        emit finished();
    }
    void abort() override { *aborted = true; }
    qint64 bytesAvailable() const override { return m_pending.size() + QIODevice::bytesAvailable(); }
    // Outlives the reply, which the reader hands to deleteLater.
    std::shared_ptr<bool> aborted = std::make_shared<bool>(false);

protected:
    qint64 readData(char* data, qint64 maximum) override {
        const QByteArray piece = m_pending.first(qMin(maximum, qint64(m_pending.size())));
        m_pending.remove(0, piece.size());
        std::copy(piece.begin(), piece.end(), data);
        return piece.size();
    }

private:
    QByteArray m_pending;
};

// Records the body passed on and how the reading ended: "finished" or the breach's number.
BoundedReply::Handlers recording(QByteArray& body, std::string& end,
                                 std::function<bool(const QNetworkReply&)> head = nullptr) {
    return {head, [&body](QByteArrayView piece) { return body.append(piece), true; },
            [&end](const QNetworkReply&) { end = "finished"; },
            [&end](BoundedReply::Breach breach) {
                end = std::to_string(int(breach));
            }};
}

} // namespace

TEST(BoundedReply, ReadsWithinTheCapAndTheExactLength) {
    const std::string tooLarge = "0", wrongLength = "1";
    const struct {
        std::optional<qint64> exact, announced;
        QList<QByteArray> pieces;
        std::optional<QNetworkReply::NetworkError> end; // none: the reply never ends
        std::string outcome;
        QByteArray passedOn;
    } cases[] = {
        {{}, 10, {"12345", "67890"}, QNetworkReply::NoError, "finished", "1234567890"},
        {{}, 11, {"1"}, {}, tooLarge, ""},
        {{}, {}, {"123456", "78901"}, {}, tooLarge, "123456"},
        {5, 6, {}, {}, wrongLength, ""},
        {5, {}, {"123456"}, {}, wrongLength, ""},
        {5, {}, {"1234"}, QNetworkReply::NoError, wrongLength, "1234"},
        // A transfer broken off short is the caller's to word.
        {5, {}, {"1234"}, QNetworkReply::RemoteHostClosedError, "finished", "1234"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome + " " + c.passedOn.toStdString());
        QObject owner;
        QByteArray body;
        std::string end;
        BoundedReply reader({10, c.exact, 1h}, recording(body, end));
        auto* reply = new ScriptedReply(&owner);
        reader.read(reply);
        reply->head(200, c.announced);
        for (const QByteArray& piece : c.pieces)
            reply->body(piece);
        if (c.end)
            reply->end(*c.end);
        EXPECT_EQ(end, c.outcome);
        EXPECT_EQ(body, c.passedOn);
        EXPECT_EQ(*reply->aborted, end != "finished"); // a reply that ended is left alone
    }
}

TEST(BoundedReply, TheCallerFollowsARedirectWithinTheDeadline) {
    QObject owner;
    auto* first = new ScriptedReply(&owner);
    auto* second = new ScriptedReply(&owner);
    QByteArray body;
    std::string end;
    std::optional<BoundedReply> reader;
    const auto follow = [&](const QNetworkReply& reply) {
        if (&reply != first)
            return true;
        reader->read(second); // as the update layer follows a redirect
        return false;
    };
    reader.emplace(BoundedReply::Limits{4, std::nullopt, 0ms}, recording(body, end, follow));
    reader->read(first);
    first->head(302);
    first->body("from the first reply");
    first->end(QNetworkReply::NoError);
    EXPECT_TRUE(*first->aborted);
    second->head(200);
    second->body("1234"); // the first reply's bytes neither count nor arrive
    EXPECT_EQ(body, "1234");
    EXPECT_EQ(end, "");
    // The deadline armed for the first reply still runs for the second.
    const std::shared_ptr<bool> secondAborted = second->aborted;
    ASSERT_TRUE(test::deliverDue());
    EXPECT_EQ(end, std::to_string(int(BoundedReply::Breach::timedOut)));
    EXPECT_TRUE(*secondAborted);
}
