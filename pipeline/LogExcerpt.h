#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// The last lines of a program's log that say why it failed, for a message
// box: the downloader's errors ("ERROR 404", "failed: Connection refused",
// "unable to resolve host address", "Unsupported scheme", the certificate
// and TLS lines: "ERROR: The certificate of ‘host’ is not trusted.", "The
// certificate's owner does not match hostname ‘host’", "Unable to establish
// SSL connection."…), at most `most`
// of them, oldest first, trimmed.
QStringList FailureLines(const QString &log, int most);

// The last lines of a download log that say a file could not be written
// ("Cannot write to ‘…’ (Permission denied).", "…: Not a directory"): the
// output folder, not the site, is at fault. At most `most`, oldest first.
QStringList WriteFailureLines(const QString &log, int most);

// Whether lines speak of the secure connection (a certificate that is not
// trusted or made out to another host).
bool SpeakOfCertificates(const QStringList &lines);

// Why the downloader refused a site's certificate, as its lines say (in
// the words of quorlix-wget and of GNU Wget over GnuTLS or OpenSSL).
enum class CertificateFault {
    UnknownAuthority, // signed by an authority the system does not trust, or by itself
    WrongName,        // made out to another host name
    Expired,          // expired, or not valid yet
};
// The faults the lines name, each once, in the order above.
QList<CertificateFault> CertificateFaults(const QStringList &lines);

// The last `most` lines of a log that are not blank, oldest first, trimmed.
QStringList LastLines(const QString &log, int most);

// Lines for a message box, each indented, one per line.
QString QuotedLines(const QStringList &lines);

} // namespace quorlix::pipeline
