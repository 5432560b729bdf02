#include "CertStore.h"

#include "core/BizException.h"
#include "core/FileSystem.h"
#include "core/Paths.h"

#include <QFile>
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
    try {
        if (!CreateFolders(m_path, true, FolderAccess::Private))
            return false;
    } catch (const CBizOsException &) {
        return false;
    }
    QSaveFile file(m_path);
    if (!OpenStateFile(file))
        return false;
    for (const QSslCertificate &c : std::as_const(certs))
        file.write(c.toPem());
    return file.commit();
}
