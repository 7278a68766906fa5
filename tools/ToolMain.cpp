// bl-tool's start: the command-line companion of the B/L program, for installers, support
// staff and scripts. QtCore only, except pdf-bl, which lays out text and so needs the GUI
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

// Each command: its name, its call and what it does (the help lists them in this order).
struct Verb
{
    const char *name;
    const char *call;
    const char *what;
};

const Verb kVerbs[] = {
    {"create", "create register|transfer ARQ.DB",
     "cria um par de tabelas vazio (ARQ.DB e ARQ.MB) com os campos do cadastro (Bl_)\n"
     "ou do arquivo de transferência (Di_); nunca sobrescreve"},
    {"dump", "dump ARQ.DB",
     "lista a tabela em linhas JSON (UTF-8): um cabeçalho e um objeto por registro"},
    {"import", "import ARQ.DB < REGISTROS.jsonl",
     "acrescenta os registros dados como objetos JSON, um por linha; tudo ou nada"},
    {"check", "check ARQ.DB", "verifica a tabela e seu arquivo de memorandos"},
    {"salvage", "salvage DANIFICADA.DB NOVA.DB",
     "copia para uma tabela nova tudo o que a tabela danificada ainda tem; lista o que\n"
     "se perdeu"},
    {"backups", "backups CADASTRO.DB",
     "lista as cópias de segurança diárias do cadastro (pasta \"Cópias de segurança\" ao\n"
     "lado dele): data, número de registros e resultado da verificação"},
    {"restore", "restore CADASTRO.DB AAAA-MM-DD",
     "põe a cópia de segurança desse dia no lugar do cadastro, guardando antes o atual\n"
     "como NOME-antes-da-restauracao-AAAA-MM-DD-HHMMSS; recusa enquanto o cadastro\n"
     "estiver aberto no programa ou em outro lugar"},
    {"pdf-bl", "pdf-bl ARQ.DB --ref RESERVA -o SAIDA.pdf",
     "grava em PDF o B/L do primeiro registro com essa reserva, como impresso"},
    {"pdf-receipt", "pdf-receipt ARQ.DB --company EMPRESA --city CIDADE -o SAIDA.pdf",
     "grava em PDF o protocolo de entrega do arquivo de transferência"},
};

const char kExit[] = "Código de saída: 0 sucesso, 1 check encontrou problemas, salvage perdeu algo ou\n"
                     "backups achou cópia danificada, 2 erro.\n";

QByteArray indented(const char *text)
{
    return "      " + QByteArray(text).replace("\n", "\n      ") + "\n";
}

int help()
{
    QByteArray out = "Uso: bl-tool COMANDO ARGUMENTOS\n"
                     "     bl-tool --help | --version\n\n"
                     "Ferramenta de linha de comando da Emissão de Bill of Lading: cria, lista,\n"
                     "importa, verifica e recupera tabelas de BL e grava BL e protocolo em PDF.\n\n";
    for (const Verb &v : kVerbs)
        out += "  bl-tool " + QByteArray(v.call) + "\n" + indented(v.what);
    out += QByteArray("\n") + kExit;
    std::fputs(out.constData(), stdout);
    return bltool::Ok;
}

// A wrong call: the command's own usage when the command is known, else the list of commands.
int usage(const QString &command)
{
    for (const Verb &v : kVerbs) {
        if (command == QLatin1String(v.name)) {
            const QByteArray out = "Uso: bl-tool " + QByteArray(v.call) + "\n" + indented(v.what);
            std::fputs(out.constData(), stderr);
            return bltool::Error;
        }
    }
    QByteArray out;
    if (!command.isEmpty())
        out = "bl-tool: comando desconhecido: " + command.toUtf8() + "\n";
    out += "Uso: bl-tool COMANDO ARGUMENTOS, com COMANDO um de:";
    for (const Verb &v : kVerbs)
        out += QByteArray(" ") + v.name;
    out += "\nbl-tool --help explica cada um.\n";
    std::fputs(out.constData(), stderr);
    return bltool::Error;
}

int run(const QStringList &args)
{
    if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help" || args[0] == u"help"))
        return help();
    if (args.size() == 1 && (args[0] == u"--version" || args[0] == u"-V")) {
        std::fputs("bl-tool " BL_VERSION "\n", stdout);
        return bltool::Ok;
    }
    if (args.isEmpty())
        return usage(QString());

    const QString &command = args[0];
    if (command == u"pdf-bl") {
        if (const auto o = pdfOptions(args, {QStringLiteral("--ref"), QStringLiteral("-o")}))
            return bltool::pdfBl(o->file, o->values[0], o->values[1]);
    } else if (command == u"pdf-receipt") {
        if (const auto o = pdfOptions(args, {QStringLiteral("--company"), QStringLiteral("--city"), QStringLiteral("-o")}))
            return bltool::pdfReceipt(o->file, o->values[0], o->values[1], o->values[2]);
    } else if (command == u"create" && args.size() == 3) {
        return bltool::create(args[1], args[2]);
    } else if (command == u"salvage" && args.size() == 3) {
        return bltool::salvage(args[1], args[2]);
    } else if (command == u"restore" && args.size() == 3) {
        return bltool::restore(args[1], args[2]);
    } else if (args.size() == 2) {
        if (command == u"dump")
            return bltool::dump(args[1]);
        if (command == u"import")
            return bltool::import(args[1]);
        if (command == u"check")
            return bltool::check(args[1]);
        if (command == u"backups")
            return bltool::backups(args[1]);
    }
    return usage(command);
}

} // namespace

int bltool::main(int argc, char *argv[])
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
