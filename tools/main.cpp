// bl-tool: the command-line companion of the B/L program, for installers, support staff
// and scripts. QtCore only, except pdf-bl, which lays out text and so needs the GUI
// application (on the offscreen platform unless one is chosen).

#include "Commands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>

namespace {

// The arguments of a PDF command after its name: one table file and each of the options
// once with its value, in any order; the output name (the last option) must not be empty.
struct PdfArgs
{
    QString file;
    QStringList values;  // in the order the options were asked for
};

std::optional<PdfArgs> pdfOptions(const QStringList &args, const QStringList &options)
{
    PdfArgs a;
    QList<bool> given(options.size(), false);
    a.values.resize(options.size());
    for (qsizetype i = 1; i < args.size(); ++i) {
        const qsizetype k = options.indexOf(args[i]);
        if (k >= 0 && i + 1 < args.size()) {
            a.values[k] = args[++i];
            given[k] = true;
        } else if (a.file.isEmpty() && !args[i].startsWith(u'-')) {
            a.file = args[i];
        } else {
            return std::nullopt;
        }
    }
    if (a.file.isEmpty() || given.contains(false) || a.values.last().isEmpty())
        return std::nullopt;
    return a;
}

const char kUsage[] =
    "Uso: bl-tool COMANDO ARGUMENTOS\n"
    "\n"
    "  create register|transfer ARQ.DB  cria um par de tabelas vazio (ARQ.DB e ARQ.MB)\n"
    "                                   com os campos do cadastro (Bl_) ou do arquivo\n"
    "                                   de transferência (Di_); nunca sobrescreve\n"
    "  dump ARQ.DB                      lista a tabela em linhas JSON (UTF-8): um\n"
    "                                   cabeçalho e um objeto por registro\n"
    "  import ARQ.DB < REGISTROS.jsonl  acrescenta os registros dados como objetos JSON,\n"
    "                                   um por linha; tudo ou nada\n"
    "  check ARQ.DB                     verifica a tabela e seu arquivo de memorandos\n"
    "  salvage DANIFICADA.DB NOVA.DB    copia para uma tabela nova tudo o que a tabela\n"
    "                                   danificada ainda tem; lista o que se perdeu\n"
    "  pdf-bl ARQ.DB --ref RESERVA -o SAIDA.pdf\n"
    "                                   grava em PDF o B/L do primeiro registro com\n"
    "                                   essa reserva, como impresso\n"
    "  pdf-receipt ARQ.DB --company EMPRESA --city CIDADE -o SAIDA.pdf\n"
    "                                   grava em PDF o protocolo de entrega do arquivo\n"
    "                                   de transferência\n"
    "\n"
    "Código de saída: 0 sucesso, 1 check encontrou problemas ou salvage perdeu algo,\n"
    "2 erro.\n";

int usage(bool asked)
{
    std::fputs(kUsage, asked ? stdout : stderr);
    return asked ? bltool::Ok : bltool::Error;
}

int run(const QStringList &args)
{
    if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help" || args[0] == u"help"))
        return usage(true);
    if (args.isEmpty())
        return usage(false);

    const QString &command = args[0];
    if (command == u"pdf-bl") {
        const auto o = pdfOptions(args, {QStringLiteral("--ref"), QStringLiteral("-o")});
        if (!o)
            return usage(false);
        return bltool::pdfBl(o->file, o->values[0], o->values[1]);
    }
    if (command == u"pdf-receipt") {
        const auto o = pdfOptions(args, {QStringLiteral("--company"), QStringLiteral("--city"), QStringLiteral("-o")});
        if (!o) {
            std::fputs("Uso: bl-tool pdf-receipt ARQ.DB --company EMPRESA --city CIDADE -o SAIDA.pdf\n", stderr);
            return bltool::Error;
        }
        return bltool::pdfReceipt(o->file, o->values[0], o->values[1], o->values[2]);
    }
    if (command == u"create" && args.size() == 3)
        return bltool::create(args[1], args[2]);
    if (command == u"salvage" && args.size() == 3)
        return bltool::salvage(args[1], args[2]);
    if (args.size() == 2) {
        if (command == u"dump")
            return bltool::dump(args[1]);
        if (command == u"import")
            return bltool::import(args[1]);
        if (command == u"check")
            return bltool::check(args[1]);
    }
    return usage(false);
}

} // namespace

int main(int argc, char *argv[])
{
    // Only the PDF commands need fonts; without a display they draw on the offscreen platform.
    const bool gui = argc > 1 && (qstrcmp(argv[1], "pdf-bl") == 0 || qstrcmp(argv[1], "pdf-receipt") == 0);
    if (gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (gui) {
        // Scripts read standard error for the tool's own messages; the toolkit's chatter about
        // the session (runtime folders, painters) is not for them.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                bltool::printError(msg);
        });
    }
    std::unique_ptr<QCoreApplication> app;
    if (gui)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    try {
        return run(app->arguments().mid(1));
    } catch (const std::bad_alloc &) {
        bltool::printError(QStringLiteral("memória insuficiente"));
    } catch (const std::exception &e) {
        bltool::printError(QString::fromUtf8(e.what()));
    }
    return bltool::Error;
}
