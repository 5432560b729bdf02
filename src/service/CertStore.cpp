#include "CertStore.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString CBizCertStore::DefaultPath()
{
    return DataPath({}, QStringLiteral("trustcert.vqr"));
}

CBizCertStore::CBizCertStore(const QString &path)
    : m_path(path)
{}

QList<QSslCertificate> CBizCertStore::Certificates() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

bool CBizCertStore::Add(const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return false;
    QList<QSslCertificate> certs = Certificates();
    if (certs.contains(certificate))
        return true;
    certs.append(certificate);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QSslCertificate &c : std::as_const(certs))
        file.write(c.toPem());
    return file.commit();
}
