#pragma once

#include <QFileDevice>
#include <QNetworkReply>
#include <QString>
#include <QXmlStreamReader>

namespace lunorvale {

// Why an update step failed, as a sentence of ours for the update window and the settings. Qt's own
// error texts (and the system's) are English and name its internals ("SSL handshake failed: …"); only
// their kind is kept.
namespace UpdateFailureText {

QString network(QNetworkReply::NetworkError error);
// The download file, kept in a temporary file.
QString file(QFileDevice::FileError error);
// A system error number, from writing a folder or the program.
QString system(int errorNumber);
// A feed that is not readable XML.
QString feed(QXmlStreamReader::Error error);

} // namespace UpdateFailureText
} // namespace lunorvale
