#include "PxError.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

DataError::DataError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

namespace px {

namespace {
QString name(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
} // namespace

QString errnoText(int e)
{
    switch (e) {
    case EACCES: return QStringLiteral("permissão negada");
    case EPERM: return QStringLiteral("operação não permitida");
    case EISDIR: return QStringLiteral("é uma pasta, não um arquivo");
    case ENOTDIR: return QStringLiteral("parte do caminho não é uma pasta");
    case ENOENT: return QStringLiteral("arquivo ou pasta inexistente");
    case EROFS: return QStringLiteral("a mídia está protegida contra gravação");
    case EIO: return QStringLiteral("erro de leitura ou gravação no dispositivo");
    case ENOSPC: return QStringLiteral("sem espaço no disco");
    case EDQUOT: return QStringLiteral("cota de disco esgotada");
    case EFBIG: return QStringLiteral("arquivo grande demais");
    case EBUSY: return QStringLiteral("dispositivo ou recurso ocupado");
    case ENXIO:
    case ENODEV: return QStringLiteral("dispositivo não encontrado (mídia removida?)");
    case EMFILE:
    case ENFILE: return QStringLiteral("arquivos abertos demais");
    case ENOMEM: return QStringLiteral("memória insuficiente");
    case EAGAIN: return QStringLiteral("recurso temporariamente indisponível");
    case EINVAL: return QStringLiteral("argumento inválido");
    case ENAMETOOLONG: return QStringLiteral("nome de arquivo longo demais");
    case ELOOP: return QStringLiteral("atalhos (links) demais no caminho");
    case ETIMEDOUT: return QStringLiteral("tempo esgotado");
    case ESTALE: return QStringLiteral("arquivo de rede não está mais disponível");
    case EINTR: return QStringLiteral("operação interrompida");
    default: return QStringLiteral("erro do sistema %1").arg(e);
    }
}

EngineError EngineError::fileMissing(const QString &path)
{
    return {Kind::FileMissing, QStringLiteral("Arquivo não encontrado: %1").arg(name(path))};
}

EngineError EngineError::memoMissing(const QString &path)
{
    return {Kind::MemoMissing, QStringLiteral("Arquivo de memorandos não encontrado: %1").arg(name(path))};
}

EngineError EngineError::inUse(const QString &path)
{
    return {Kind::InUse, QStringLiteral("A tabela %1 está em uso por outro programa").arg(name(path))};
}

EngineError EngineError::damaged(const QString &path, const QString &reason)
{
    return {Kind::Damaged,
            QStringLiteral("%1 não é uma tabela Paradox ou está danificada: %2").arg(name(path), reason)};
}

EngineError EngineError::memoDamaged(const QString &mbPath, const QString &reason)
{
    return {Kind::Damaged, QStringLiteral("O arquivo de memorandos %1 está danificado: %2").arg(name(mbPath), reason)};
}

EngineError EngineError::unsupported(const QString &path, const QString &reason)
{
    return {Kind::Unsupported, QStringLiteral("Tabela %1 não suportada: %2").arg(name(path), reason)};
}

EngineError EngineError::writeFailed(const QString &path, int errnoValue)
{
    if (errnoValue == ENOSPC || errnoValue == EDQUOT)
        return {Kind::DiskFull, QStringLiteral("Sem espaço no disco para gravar %1").arg(name(path))};
    return {Kind::WriteFailed, QStringLiteral("Falha ao gravar %1: %2")
                                   .arg(name(path), errnoText(errnoValue))};
}

EngineError EngineError::readFailed(const QString &path, int errnoValue)
{
    return {Kind::WriteFailed, QStringLiteral("Falha ao ler %1: %2").arg(name(path), errnoText(errnoValue))};
}

EngineError EngineError::badText(const QString &path, const QString &field)
{
    return {Kind::BadText,
            QStringLiteral("O campo %1 contém caracteres que a tabela %2 não pode guardar")
                .arg(field, name(path))};
}

EngineError EngineError::conflict(const QString &path)
{
    return {Kind::Conflict,
            QStringLiteral("O registro foi alterado ou excluído por outro programa na tabela %1").arg(name(path))};
}

EngineError EngineError::exists(const QString &path)
{
    return {Kind::Exists, QStringLiteral("O arquivo %1 já existe").arg(name(path))};
}

EngineError EngineError::notRegular(const QString &path, unsigned mode)
{
    QString what;
    if (S_ISDIR(mode))
        what = QStringLiteral("é uma pasta");
    else if (S_ISFIFO(mode))
        what = QStringLiteral("é um FIFO (pipe)");
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        what = QStringLiteral("é um dispositivo");
    else if (S_ISSOCK(mode))
        what = QStringLiteral("é um socket");
    else
        what = QStringLiteral("não é um arquivo comum");
    return {Kind::Unsupported,
            QStringLiteral("%1 não é um arquivo de tabela: %2").arg(name(path), what)};
}

EngineError EngineError::vanished(const QString &path)
{
    return {Kind::WriteFailed,
            QStringLiteral("O arquivo %1 não está mais no disco (a mídia foi removida?).").arg(name(path))};
}

} // namespace px
