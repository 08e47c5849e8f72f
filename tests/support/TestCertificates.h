#pragma once

// Certificates for HTTPS tests, made with openssl: a test authority
// (ca.pem) and certificates it signs in folder: right.pem for 127.0.0.1,
// other.pem for another name, expired.pem for 127.0.0.1 but out of date;
// each with its .key. False when openssl could not make them.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quorlix::test {

inline bool makeTestCertificates(const QString &folder)
{
    const QString script = QStringLiteral(
        "set -e; cd \"$0\"; ec='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes';"
        "openssl req -x509 $ec -keyout ca.key -out ca.pem -days 2 -subj /CN=Quorlix-Test-CA 2>/dev/null;"
        "make() { openssl req $ec -keyout $1.key -out $1.csr -subj /CN=$2 2>/dev/null;"
        "  printf 'subjectAltName=%s\\n' $3 > $1.ext;"
        "  openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out $1.pem -days $4 -extfile $1.ext"
        "  2>/dev/null; };"
        "make right 127.0.0.1 IP:127.0.0.1 2; make other other.example DNS:other.example 2;"
        "make expired 127.0.0.1 IP:127.0.0.1 -1");
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script, folder}) == 0;
}

} // namespace quorlix::test
