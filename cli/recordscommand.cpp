#include "cli/recordscommand.h"

#include "checkout/repairrecord.h"
#include "cli/migratecommand.h"
#include "commandline/checkoutcommandline.h"
#include "device/identification.h"
#include "documents/documentsapplication.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishspool.h"
#include "publish/storedcheckoutpublisher.h"
#include "records/linerecords.h"
#include "records/recordsfilters.h"
#include "store/chainverifier.h"
#include "store/readerlife.h"
#include "store/recordkeeper.h"
#include "store/recordsroles.h"
#include "store/recordsstore.h"
#include "store/recordtext.h"
#include "yield/yieldreporttext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>
#include <array>

#include <unistd.h>

namespace {

const QString RecordsWord = QStringLiteral("records");
const QString HelpOption = QStringLiteral("help");
const QString PortOption = QStringLiteral("port");
const QString TraceOption = QStringLiteral("trace");
const QString RecordsOption = QStringLiteral("records");
const QString NoRecordsOption = QStringLiteral("no-records");
const QString JsonOption = QStringLiteral("json");
const QString CsvOption = QStringLiteral("csv");
const QString SerialOption = QStringLiteral("serial");
const QString OutcomeOption = QStringLiteral("outcome");
const QString SinceOption = QStringLiteral("since");
const QString StationOption = QStringLiteral("station");
const QString LotOption = QStringLiteral("lot");
const QString PlanOption = QStringLiteral("plan");
const QString OperatorOption = QStringLiteral("operator");
const QString LimitOption = QStringLiteral("limit");
const QString OutputOption = QStringLiteral("output");
const QString UntilOption = QStringLiteral("until");
const QString ModelOption = QStringLiteral("model");
const QString ByOption = QStringLiteral("by");
const QString PdfOption = QStringLiteral("pdf");
const QString PublishOption = QStringLiteral("publish");
const QString CfxHandleOption = QStringLiteral("cfx-handle");
const QString PendingOption = QStringLiteral("pending");
const QString SymptomOption = QStringLiteral("symptom");
const QString ActionOption = QStringLiteral("action");
const QString CauseOption = QStringLiteral("cause");
const QString PartOption = QStringLiteral("part");
const QString TechnicianOption = QStringLiteral("technician");
const QString CheckoutOption = QStringLiteral("checkout");
const QString ParetoOption = QStringLiteral("pareto");
const QString FromOption = QStringLiteral("from");
const QString DropOption = QStringLiteral("drop");
const QString TableOption = QStringLiteral("table");
const QString DryRunOption = QStringLiteral("dry-run");
const QString HashOption = QStringLiteral("hash");
const QString HeadsOption = QStringLiteral("heads");
const QString AnchorOption = QStringLiteral("anchor");
const QString RolesOption = QStringLiteral("roles");

// The records commands, how many record ids (or serial numbers) each takes, and the options
// that are theirs.
struct Subcommand
{
    QString name;
    int ids;
    QStringList options;
    QString argument = QStringLiteral("record id");
};

const std::array<Subcommand, 11> Subcommands{{
    {QStringLiteral("list"),
     0,
     {SerialOption, OutcomeOption, SinceOption, UntilOption, StationOption, ModelOption, LotOption,
      OperatorOption, PlanOption, LimitOption, JsonOption, CsvOption}},
    {QStringLiteral("show"), 1, {JsonOption}},
    {QStringLiteral("certificate"), 1, {OutputOption}},
    {QStringLiteral("report"),
     0,
     {SinceOption, UntilOption, StationOption, ModelOption, LotOption, OperatorOption, PlanOption,
      ByOption, JsonOption, CsvOption, TableOption, PdfOption, ParetoOption}},
    {QStringLiteral("sync"), 0, {}},
    {QStringLiteral("migrate"), 0, {DryRunOption}},
    {QStringLiteral("publish"),
     0,
     {SerialOption, SinceOption, PendingOption, PublishOption, CfxHandleOption, FromOption,
      DropOption}},
    {QStringLiteral("history"), 1, {JsonOption}, QStringLiteral("serial number")},
    {QStringLiteral("repair"),
     1,
     {SymptomOption, ActionOption, CauseOption, PartOption, TechnicianOption, CheckoutOption,
      StationOption, PublishOption, CfxHandleOption},
     QStringLiteral("serial number")},
    // Takes a record id only with --hash: the subcommand checks its ids itself.
    {QStringLiteral("verify"),
     -1,
     {StationOption, SinceOption, HashOption, HeadsOption, AnchorOption}},
    {QStringLiteral("setup"), 0, {RolesOption}},
}};

// Accepted wherever they stand, as for every vornctl command.
const QStringList GeneralOptions{HelpOption, PortOption, TraceOption, RecordsOption,
                                 NoRecordsOption};

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("h"), HelpOption}, QString()});
    parser.addOption({PortOption, QString(), QStringLiteral("NAME")});
    parser.addOption({TraceOption, QString()});
    parser.addOption({RecordsOption, QString(), QStringLiteral("URL")});
    parser.addOption({NoRecordsOption, QString()});
    parser.addOption({JsonOption, QString()});
    parser.addOption({CsvOption, QString()});
    parser.addOption({SerialOption, QString(), QStringLiteral("N")});
    parser.addOption({OutcomeOption, QString(), QStringLiteral("OUTCOME")});
    parser.addOption({SinceOption, QString(), QStringLiteral("DATE")});
    parser.addOption({StationOption, QString(), QStringLiteral("NAME")});
    parser.addOption({LotOption, QString(), QStringLiteral("TEXT")});
    parser.addOption({PlanOption, QString(), QStringLiteral("NAME")});
    parser.addOption({OperatorOption, QString(), QStringLiteral("NAME")});
    parser.addOption({LimitOption, QString(), QStringLiteral("N")});
    parser.addOption({{QStringLiteral("o"), OutputOption}, QString(), QStringLiteral("FILE")});
    parser.addOption({UntilOption, QString(), QStringLiteral("DATE")});
    parser.addOption({ModelOption, QString(), QStringLiteral("MODEL")});
    parser.addOption({ByOption, QString(), QStringLiteral("GROUPING")});
    parser.addOption({TableOption, QString(), QStringLiteral("TABLE")});
    parser.addOption({DryRunOption, QString()});
    parser.addOption({PdfOption, QString(), QStringLiteral("FILE")});
    parser.addOption({PublishOption, QString(), QStringLiteral("URL")});
    parser.addOption({CfxHandleOption, QString(), QStringLiteral("NAME")});
    parser.addOption({PendingOption, QString()});
    for (const QString &text :
         {SymptomOption, ActionOption, CauseOption, PartOption, TechnicianOption})
        parser.addOption({text, QString(), QStringLiteral("TEXT")});
    parser.addOption({CheckoutOption, QString(), QStringLiteral("ID")});
    parser.addOption({ParetoOption, QString(), QStringLiteral("WHAT")});
    parser.addOption({FromOption, QString(), QStringLiteral("URL")});
    parser.addOption({DropOption, QString(), QStringLiteral("URL")});
    parser.addOption({HashOption, QString(), QStringLiteral("HASH")});
    parser.addOption({HeadsOption, QString()});
    parser.addOption({RolesOption, QString()});
    parser.addOption({AnchorOption, QString(), QStringLiteral("FILE")});
}

const Subcommand *findSubcommand(const QString &name)
{
    const auto found = std::find_if(Subcommands.cbegin(), Subcommands.cend(),
                                    [&name](const Subcommand &each) { return each.name == name; });
    return found == Subcommands.cend() ? nullptr : &*found;
}

// The filter options given, by name, as RecordsFilters reads them.
RecordsFilters::Texts givenTexts(const QCommandLineParser &parser, const QStringList &names)
{
    RecordsFilters::Texts texts;
    for (const QString &name : names) {
        if (parser.isSet(name))
            texts.insert(name, parser.value(name));
    }
    return texts;
}

// Converts the list options into a filter and a choice; returns what is wrong, or nothing.
QString takeQuery(const QCommandLineParser &parser, RecordsFilter &filter,
                  LineRecords::ListChoice &choice)
{
    const QString problem = RecordsFilters::takeList(
        givenTexts(parser, {SerialOption, OutcomeOption, SinceOption, UntilOption, StationOption,
                            ModelOption, LotOption, OperatorOption, PlanOption, LimitOption}),
        QStringLiteral("--"), filter, choice);
    if (!problem.isEmpty())
        return problem;
    if (parser.isSet(JsonOption) && parser.isSet(CsvOption))
        return QStringLiteral("give --json or --csv, not both");
    return {};
}

// Converts the report options into a query; returns what is wrong, or nothing.
QString takeReport(const QCommandLineParser &parser, ReportQuery &query)
{
    const QString problem = RecordsFilters::takeReport(
        givenTexts(parser, {SinceOption, UntilOption, StationOption, ModelOption, LotOption,
                            OperatorOption, PlanOption, ByOption}),
        QDateTime::currentDateTimeUtc(), QStringLiteral("--"), query);
    if (!problem.isEmpty())
        return problem;
    if (parser.isSet(PdfOption) && parser.value(PdfOption).isEmpty())
        return QStringLiteral("--pdf needs a file name");
    const QString pareto = parser.value(ParetoOption);
    if (parser.isSet(ParetoOption) && pareto != QLatin1String("step") &&
        pareto != QLatin1String("cause"))
        return QStringLiteral("--pareto must be step or cause, not '%1'").arg(pareto);
    query.paretoOfCauses = pareto == QLatin1String("cause");
    if (parser.isSet(JsonOption) && parser.isSet(CsvOption))
        return QStringLiteral("give --json or --csv, not both");
    if (parser.isSet(TableOption) && !parser.isSet(CsvOption))
        return QStringLiteral("--table chooses a CSV table: give it with --csv");
    if (parser.isSet(TableOption) && !YieldReportText::csvTableFromName(parser.value(TableOption)))
        return QStringLiteral("--table must be figures, attempts or pareto, not '%1'")
            .arg(parser.value(TableOption));
    return {};
}

// `records verify`: a record id with --hash and nothing else, or the chains.
QString checkVerify(const QCommandLineParser &parser, const QStringList &ids)
{
    if (ids.size() > 1 || ids.isEmpty() == parser.isSet(HashOption))
        return QStringLiteral("'records verify' takes a record id with --hash HASH, or no id");
    if (!ids.isEmpty() && (parser.isSet(StationOption) || parser.isSet(SinceOption) ||
                           parser.isSet(HeadsOption) || parser.isSet(AnchorOption)))
        return QStringLiteral("'records verify ID --hash HASH' takes no other option");
    if (parser.isSet(HeadsOption) && (parser.isSet(SinceOption) || parser.isSet(AnchorOption)))
        return QStringLiteral("--heads prints the chains' heads: give it alone or with --station");
    return {};
}

// Checks the command words and which options were given; returns what is wrong, or nothing.
QString checkCommandLine(const QCommandLineParser &parser, const Subcommand *subcommand,
                         const QString &name, const QStringList &ids)
{
    if (!subcommand)
        return QStringLiteral("unknown records command '%1': list, show, certificate, report, "
                              "history, repair, sync, migrate, publish, verify or setup")
            .arg(name);
    if (subcommand->ids >= 0 && ids.size() != subcommand->ids)
        return subcommand->ids == 1
                   ? QStringLiteral("'records %1' takes one %2").arg(name, subcommand->argument)
                   : QStringLiteral("'records %1' takes no arguments").arg(name);
    for (const QString &option : parser.optionNames()) {
        const QString longName = option == QLatin1String("o")   ? OutputOption
                                 : option == QLatin1String("h") ? HelpOption
                                                                : option;
        if (!GeneralOptions.contains(longName) && !subcommand->options.contains(longName))
            return QStringLiteral("--%1 is not an option of 'records %2'").arg(longName, name);
    }
    if (name == QLatin1String("certificate") && parser.isSet(OutputOption) &&
        parser.value(OutputOption).isEmpty())
        return QStringLiteral("-o needs a file name");
    if (name == QLatin1String("repair") && (parser.value(SymptomOption).trimmed().isEmpty() ||
                                            parser.value(ActionOption).trimmed().isEmpty()))
        return QStringLiteral("'records repair' needs --symptom TEXT and --action TEXT");
    if (parser.isSet(NoRecordsOption))
        return QStringLiteral("--no-records keeps no records, so there are none to read");
    if (name == QLatin1String("verify"))
        return checkVerify(parser, ids);
    if (name == QLatin1String("setup") && !parser.isSet(RolesOption))
        return QStringLiteral("'records setup' needs --roles");
    return {};
}

// The list for a terminal: the columns that fit a line; the CSV and JSON have them all.
QString listText(const QList<RecordSummary> &summaries)
{
    static const QStringList shown{
        QStringLiteral("id"),   QStringLiteral("started"), QStringLiteral("station"),
        QStringLiteral("port"), QStringLiteral("model"),   QStringLiteral("serial"),
        QStringLiteral("plan"), QStringLiteral("outcome"), QStringLiteral("failed_steps")};
    const auto pick = [](const QStringList &all) {
        QStringList fields;
        for (const QString &name : shown)
            fields.append(all.at(RecordSummary::columnNames().indexOf(name)));
        return fields;
    };
    QList<QStringList> rows{shown};
    for (const RecordSummary &summary : summaries)
        rows.append(pick(summary.columns(summary.started.toString(Qt::ISODate))));
    QList<qsizetype> widths(shown.size(), 0);
    for (const QStringList &row : rows) {
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += row[column].leftJustified(widths[column] + 2);
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

QByteArray listJson(const QList<RecordSummary> &summaries)
{
    return QJsonDocument(RecordSummary::listJson(summaries)).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

RecordsCommand::RecordsCommand(QIODevice &standardOutput, QIODevice &standardError)
    : m_output(standardOutput), m_error(standardError)
{
}

bool RecordsCommand::isRecordsCommandLine(const QStringList &arguments)
{
    // The first word that is neither an option nor an option's value is the command.
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString &word = arguments.at(index);
        if (word == QLatin1String("--"))
            return index + 1 < arguments.size() && arguments.at(index + 1) == RecordsWord;
        if (word == QLatin1String("--port") || word == QLatin1String("--records") ||
            word == QLatin1String("--publish") || word == QLatin1String("--cfx-handle"))
            ++index;
        else if (!word.startsWith(QLatin1Char('-')))
            return word == RecordsWord;
    }
    return false;
}

std::unique_ptr<QCoreApplication> RecordsCommand::makeApplication(int &argc, char **argv)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    const qsizetype records = arguments.indexOf(RecordsWord);
    const QStringList words = arguments.mid(records + 1);
    const bool pdfReport = words.contains(QLatin1String("report")) &&
                           std::any_of(words.cbegin(), words.cend(), [](const QString &word) {
                               return word.startsWith(QLatin1String("--pdf"));
                           });
    return DocumentsApplication::make(
        argc, argv,
        isRecordsCommandLine(arguments) &&
            (words.contains(QLatin1String("certificate")) || pdfReport));
}

QString RecordsCommand::helpText()
{
    return QStringLiteral(
        "\nRecords of checkouts (--records URL or VORN_RECORDS: sqlite:PATH or\n"
        "postgresql://[USER@]HOST[:PORT]/DBNAME; default sqlite:~/.local/share/vorn-tool/"
        "records.sqlite):\n"
        "  records list [--serial N] [--outcome pass|fail|error] [--since DATE]\n"
        "               [--until DATE] [--station NAME] [--model 4|8] [--lot TEXT]\n"
        "               [--operator NAME] [--plan NAME] [--limit N] [--json | --csv]\n"
        "                                   the checkouts kept, newest first; dates in UTC\n"
        "  records show ID [--json]         one checkout with every step\n"
        "  records certificate ID [-o FILE] its test certificate as a PDF (default\n"
        "                                   certificate-SERIAL-DATE.pdf in this folder)\n"
        "  records report [--since DATE] [--until DATE] [--station NAME] [--model 4|8]\n"
        "                 [--lot TEXT] [--operator NAME] [--plan NAME]\n"
        "                 [--by day|hour|station|model|firmware|operator|lot|plan]\n"
        "                 [--json | --csv [--table figures|attempts|pareto]]\n"
        "                 [--pdf FILE] [--pareto step|cause]\n"
        "                                   first-pass and final yield, yield by attempt,\n"
        "                                   retests, repairs, the failing steps (or the repairs'\n"
        "                                   causes); dates in UTC, default the last 7 days\n"
        "  records history SERIAL [--json]  every checkout and repair of a reader, in order\n"
        "  records repair SERIAL --symptom TEXT --action TEXT [--cause TEXT]\n"
        "                 [--part PART]... [--technician NAME] [--checkout ID]\n"
        "                 [--station NAME] [--publish URL] [--cfx-handle NAME]\n"
        "                                   keep a repair, linked to the reader's latest failed\n"
        "                                   checkout (or to ID); a repair lifts the retest limit\n"
        "  records sync                     send the records waiting in the outbox\n"
        "  records migrate [--dry-run]      bring the records to this version's schema, the\n"
        "                                   long steps that stations leave undone included;\n"
        "                                   --dry-run: what would change and about how long\n"
        "  records publish [--pending | [--serial N] [--since DATE]]\n"
        "                  [--publish URL] [--cfx-handle NAME]\n"
        "                                   send the checkouts kept (all, or those chosen) to\n"
        "                                   the line's broker as IPC-CFX messages, after the\n"
        "                                   messages waiting in the spool; --pending: only\n"
        "                                   those (URL: --publish or VORN_PUBLISH)\n"
        "  records publish --pending --from URL\n"
        "                                   send what waits for another URL to this broker\n"
        "  records publish --drop URL       discard what waits in the spool for URL\n"
        "  records verify [--station NAME] [--since DATE] [--anchor FILE]\n"
        "                                   walk the stations' chains of records and name each\n"
        "                                   record changed, removed or put in since it was\n"
        "                                   kept; FILE: heads printed earlier by --heads\n"
        "  records verify --heads [--station NAME]\n"
        "                                   the newest record of each chain, to keep elsewhere\n"
        "  records verify ID --hash HASH    whether HASH (printed on its certificate) is the\n"
        "                                   kept record's\n"
        "  records setup --roles            (PostgreSQL, as the tables' owner) make the roles\n"
        "                                   vorn_station, vorn_technician and vorn_reader\n"
        "  Exit codes: 1 no such record, or a record changed, removed or put in; 2 usage\n"
        "  error (also a records URL that cannot be understood), 3 the records database cannot be "
        "opened or holds no records,\n"
        "  4 the broker did not take every message (the rest waits in the spool).\n");
}

int RecordsCommand::run(const QStringList &arguments, const QString &environmentRecords)
{
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    QStringList words = parser.positionalArguments();
    words.removeFirst(); // "records"
    if (parser.isSet(HelpOption)) {
        print(helpText().mid(1));
        return Done;
    }
    if (words.isEmpty())
        return usageError(QStringLiteral("'records' needs a command: list, show, certificate, "
                                         "report, history, repair, sync, migrate, publish, "
                                         "verify or setup"));
    const QString name = words.takeFirst();
    const Subcommand *subcommand = findSubcommand(name);
    RecordsFilter filter;
    LineRecords::ListChoice choice;
    ReportQuery reportQuery;
    QString problem = checkCommandLine(parser, subcommand, name, words);
    if (problem.isEmpty() && (name == QLatin1String("list") || name == QLatin1String("publish") ||
                              name == QLatin1String("verify")))
        problem = takeQuery(parser, filter, choice);
    if (problem.isEmpty() && name == QLatin1String("report"))
        problem = takeReport(parser, reportQuery);
    if (problem.isEmpty() && parser.isSet(PendingOption) &&
        (parser.isSet(SerialOption) || parser.isSet(SinceOption)))
        problem = QStringLiteral("--pending sends only what waits in the spool: give it without "
                                 "--serial and --since");
    std::optional<int> serial;
    if (problem.isEmpty() && subcommand->argument != QLatin1String("record id"))
        serial = ReaderLife::serialFrom(words.first(), &problem);
    if (problem.isEmpty() && parser.isSet(FromOption) && !parser.isSet(PendingOption))
        problem = QStringLiteral("--from sends what waits in the spool: give it with --pending");
    if (problem.isEmpty() && parser.isSet(DropOption) &&
        (parser.isSet(PendingOption) || parser.isSet(SerialOption) || parser.isSet(SinceOption)))
        problem = QStringLiteral("--drop only discards: give it alone");
    if (!problem.isEmpty())
        return usageError(problem);

    // A URL that cannot be understood is a mistyped command line, like any other argument.
    QString error;
    const std::optional<RecordsLocation> location =
        RecordsLocation::choose(parser.value(RecordsOption), false, environmentRecords, &error);
    if (!location)
        return usageError(error);
    if (name == QLatin1String("sync"))
        return sync(*location);
    if (name == QLatin1String("migrate")) {
        MigrateCommand migrate(m_output, m_error, isatty(STDERR_FILENO) == 1);
        return parser.isSet(DryRunOption) ? migrate.dryRun(*location) : migrate.migrate(*location);
    }
    if (name == QLatin1String("publish")) {
        RecordsQuery query;
        filter.narrow(query);
        return publish(parser, query, *location);
    }
    if (name == QLatin1String("setup"))
        return setUpRoles(*location);
    // Reading never makes a records file: a path with a typo is reported, not created empty.
    RecordsStore store(*location);
    if (!store.open(RecordsStore::OpenMode::ExistingOnly))
        return databaseError(store.errorText());
    LineRecords records(store);
    if (name == QLatin1String("list"))
        return list(filter, choice, parser.isSet(JsonOption), parser.isSet(CsvOption), records);
    if (name == QLatin1String("show"))
        return show(words.first(), parser.isSet(JsonOption), records);
    if (name == QLatin1String("report"))
        return report(reportQuery, parser.isSet(JsonOption),
                      parser.isSet(CsvOption)
                          ? YieldReportText::csvTableFromName(parser.value(TableOption).isEmpty()
                                                                  ? QStringLiteral("figures")
                                                                  : parser.value(TableOption))
                          : std::nullopt,
                      parser.value(PdfOption), records);
    if (name == QLatin1String("history"))
        return history(*serial, parser.isSet(JsonOption), records);
    if (name == QLatin1String("repair"))
        return repair(parser, *serial, records);
    if (name == QLatin1String("verify")) {
        RecordsQuery query;
        filter.narrow(query);
        return verify(parser, words, query, store);
    }
    return certificate(words.first(), parser.value(OutputOption), records);
}

int RecordsCommand::list(const RecordsFilter &filter, const LineRecords::ListChoice &choice,
                         bool json, bool csv, LineRecords &records)
{
    const RecordsAnswer<QList<RecordSummary>> summaries = records.list(filter, choice);
    if (!summaries)
        return problem(summaries.problem());
    if (json)
        m_output.write(listJson(*summaries));
    else if (csv)
        print(RecordSummary::listCsv(*summaries));
    else if (summaries->isEmpty())
        m_error.write("vornctl: no checkout records match\n");
    else
        print(listText(*summaries));
    return Done;
}

int RecordsCommand::report(const ReportQuery &query, bool json,
                           std::optional<YieldReportText::CsvTable> csv, const QString &pdf,
                           LineRecords &records)
{
    const RecordsAnswer<ReportFigures> figures = records.report(query);
    if (!figures)
        return problem(figures.problem());
    const RecordsAnswer<QString> written =
        pdf.isEmpty() ? RecordsAnswer<QString>(QString()) : records.writeReportPdf(query, pdf);
    if (!written)
        return problem(written.problem());
    if (json)
        m_output.write(QJsonDocument(figures->toJson()).toJson(QJsonDocument::Compact) + '\n');
    else if (csv)
        print(YieldReportText::csv(*figures, *csv));
    else if (pdf.isEmpty())
        print(YieldReportText::render(*figures));
    if (!pdf.isEmpty()) {
        // Where the file went, beside JSON or CSV on the standard output, not in it.
        (json || csv.has_value() ? m_error : m_output)
            .write(QStringLiteral("Wrote the yield report to %1\n").arg(*written).toUtf8());
    }
    return Done;
}

int RecordsCommand::show(const QString &id, bool json, LineRecords &records)
{
    const RecordsAnswer<RecordFile> found = records.find(id);
    if (!found)
        return problem(found.problem());
    if (json)
        m_output.write(QJsonDocument(found->toJson()).toJson(QJsonDocument::Compact) + '\n');
    else
        print(RecordText::render(found->record) + found->repairText());
    return Done;
}

int RecordsCommand::certificate(const QString &id, const QString &path, LineRecords &records)
{
    const RecordsAnswer<QString> written = records.writeCertificate(id, path);
    if (!written)
        return problem(written.problem());
    if (path.isEmpty())
        print(QStringLiteral("Wrote the certificate to %1\n").arg(*written));
    return Done;
}

int RecordsCommand::history(int serialNumber, bool json, LineRecords &records)
{
    const RecordsAnswer<QList<ReaderEvent>> events = records.history(serialNumber);
    if (!events)
        return problem(events.problem());
    if (json)
        m_output.write(QJsonDocument(ReaderLife::historyJson(serialNumber, *events))
                           .toJson(QJsonDocument::Compact) +
                       '\n');
    else
        print(ReaderLife::historyText(serialNumber, *events));
    return Done;
}

int RecordsCommand::verify(const QCommandLineParser &parser, const QStringList &ids,
                           const RecordsQuery &query, RecordsStore &store)
{
    ChainVerifier verifier(store.database());
    if (!ids.isEmpty())
        return verifyHash(ids.first(), parser.value(HashOption), verifier, store);
    if (parser.isSet(HeadsOption)) {
        const std::optional<QList<ChainVerifier::Head>> heads = verifier.heads(query.station);
        if (!heads)
            return databaseError(verifier.errorText());
        for (const ChainVerifier::Head &head : *heads)
            print(head.line() + QLatin1Char('\n'));
        return Done;
    }
    QList<ChainVerifier::Head> anchors;
    if (parser.isSet(AnchorOption)) {
        QFile file(parser.value(AnchorOption));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return usageError(QStringLiteral("cannot read the heads in %1: %2")
                                  .arg(file.fileName(), file.errorString()));
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const std::optional<ChainVerifier::Head> head = ChainVerifier::Head::fromLine(line);
            if (!head)
                return usageError(QStringLiteral("%1 holds a line that is not a head printed by "
                                                 "'records verify --heads': %2")
                                      .arg(file.fileName(), line));
            anchors.append(*head);
        }
    }
    const std::optional<ChainVerifier::Report> report =
        verifier.verify(query.station, query.since, anchors);
    if (!report)
        return databaseError(verifier.errorText());
    for (const ChainVerifier::Finding &finding : report->findings)
        print(finding.text + QLatin1Char('\n'));
    print(QStringLiteral("%1 checked%2%3: %4\n")
              .arg(report->checked == 1 ? QStringLiteral("1 chained record")
                                        : QStringLiteral("%1 chained records").arg(report->checked))
              .arg(anchors.isEmpty() ? QString()
                                     : QStringLiteral(" against %1 kept heads").arg(anchors.size()),
                   report->beforeChaining == 0
                       ? QString()
                       : QStringLiteral(", %1 kept before chaining (not checked)")
                             .arg(report->beforeChaining),
                   report->findings.isEmpty()
                       ? QStringLiteral("no record changed, removed or put in")
                       : QStringLiteral("%1 findings").arg(report->findings.size())));
    return report->findings.isEmpty() ? Done : Tampered;
}

int RecordsCommand::verifyHash(const QString &id, const QString &hash, ChainVerifier &verifier,
                               RecordsStore &store)
{
    // The record by its id or the beginning of one, as every records command takes it.
    const RecordsAnswer<RecordFile> found = LineRecords(store).find(id);
    if (!found)
        return problem(found.problem());
    const ReaderRecord *record = &found->record;
    const std::optional<ChainVerifier::HashAnswer> answer = verifier.checkHash(record->id, hash);
    if (!answer)
        return databaseError(verifier.errorText());
    using Answer = ChainVerifier::HashAnswer;
    switch (*answer) {
    case Answer::Matches:
        print(QStringLiteral("%1: the hash is the kept record's, and the record still gives it\n")
                  .arg(record->id));
        return Done;
    case Answer::Differs:
        print(QStringLiteral("%1: the record is kept with another hash, %2\n")
                  .arg(record->id, verifier.keptHash(record->id).value_or(QString())));
        break;
    case Answer::ContentChanged:
        print(QStringLiteral("%1: the hash is the kept one, but the record no longer gives it: "
                             "changed since it was kept\n")
                  .arg(record->id));
        break;
    case Answer::BeforeChaining:
        print(QStringLiteral("%1: the record was kept before chaining began and has no hash\n")
                  .arg(record->id));
        break;
    case Answer::NoSuchRecord:
        print(QStringLiteral("%1: no such record\n").arg(record->id));
        break;
    }
    return Tampered;
}

int RecordsCommand::setUpRoles(const RecordsLocation &location)
{
    if (location.kind != RecordsLocation::Kind::PostgreSql)
        return usageError(QStringLiteral("roles are a PostgreSQL server's: an SQLite file is "
                                         "guarded by its file's owner and mode"));
    // As the tables' owner, who makes them when they are not there yet.
    RecordsStore store(location);
    if (!store.open() || !RecordsRoles::setUp(store.database()))
        return databaseError(store.errorText());
    print(QStringLiteral("granted vorn_reader, vorn_station and vorn_technician on %1\n"
                         "give each login one of them, e.g. CREATE ROLE station_4 LOGIN IN ROLE "
                         "vorn_station\n")
              .arg(location.description()));
    return Done;
}

int RecordsCommand::sync(const RecordsLocation &location)
{
    const RecordKeeper::Synced synced = RecordKeeper(location).sync();
    if (synced.sent + synced.alreadyThere > 0)
        print(QStringLiteral("sent %1 records to %2%3\n")
                  .arg(synced.sent + synced.alreadyThere)
                  .arg(location.url(),
                       synced.alreadyThere == 0
                           ? QString()
                           : QStringLiteral(" (%1 had arrived before)").arg(synced.alreadyThere)));
    else if (synced.ok())
        print(QStringLiteral("nothing to send to %1\n").arg(location.url()));
    for (auto other = synced.elsewhere.cbegin(); other != synced.elsewhere.cend(); ++other)
        print(QStringLiteral("%1 records wait in the outbox for %2\n")
                  .arg(other.value())
                  .arg(other.key()));
    if (!synced.ok() && synced.left == 0)
        return databaseError(synced.error);
    if (!synced.ok())
        return databaseError(
            QStringLiteral("%1; %2 still waiting in the outbox")
                .arg(synced.error, synced.left == 1
                                       ? QStringLiteral("1 record")
                                       : QStringLiteral("%1 records").arg(synced.left)));
    return Done;
}

int RecordsCommand::publish(const QCommandLineParser &parser, const RecordsQuery &query,
                            const RecordsLocation &location)
{
    if (parser.isSet(DropOption))
        return dropSpooled(parser.value(DropOption).trimmed());
    QString problem;
    const std::optional<PublishTarget> target =
        PublishTarget::choose(parser.value(PublishOption).trimmed(), &problem);
    if (!problem.isEmpty())
        return usageError(problem);
    if (!target || (parser.isSet(PublishOption) && parser.value(PublishOption).trimmed().isEmpty()))
        return usageError(QStringLiteral("'records publish' needs the broker: --publish URL or "
                                         "VORN_PUBLISH"));
    if (parser.isSet(CfxHandleOption) && parser.value(CfxHandleOption).trimmed().isEmpty())
        return usageError(QStringLiteral("--cfx-handle needs a name"));

    if (parser.isSet(FromOption)) {
        const QString from = parser.value(FromOption).trimmed();
        PublishSpool spool(Publisher::defaultSpoolLocation());
        const std::optional<int> moved =
            spool.open() ? spool.move(from, target->url()) : std::nullopt;
        if (!moved)
            return databaseError(spool.errorText());
        print(QStringLiteral("%1 messages that waited for %2 now go to %3\n")
                  .arg(*moved)
                  .arg(from, target->url()));
    }

    const bool pendingOnly = parser.isSet(PendingOption);
    const StoredCheckoutPublisher::Published published = StoredCheckoutPublisher(*target).publish(
        location, pendingOnly ? std::nullopt : std::optional<RecordsQuery>(query),
        parser.value(CfxHandleOption).trimmed(), std::chrono::seconds(15));
    if (!published.recordsError.isEmpty())
        return databaseError(published.recordsError);
    return told(published, *target,
                pendingOnly
                    ? QString()
                    : QStringLiteral("%1 chosen: %2 messages\n")
                          .arg(published.checkouts == 1
                                   ? QStringLiteral("1 checkout")
                                   : QStringLiteral("%1 checkouts").arg(published.checkouts))
                          .arg(published.messages));
}

int RecordsCommand::told(const StoredCheckoutPublisher::Published &published,
                         const PublishTarget &target, const QString &chosen)
{
    for (const QString &warning : published.warnings)
        m_error.write("vornctl: " + warning.toUtf8() + '\n');
    if (!published.spooled)
        return DatabaseFailed;
    print(chosen);
    print(QStringLiteral("sent %1 messages to %2\n").arg(published.sent).arg(target.url()));
    if (const QString elsewhere = Publisher::elsewhereText(
            Publisher::waitingElsewhere(Publisher::defaultSpoolLocation(), target.url()));
        !elsewhere.isEmpty())
        print(elsewhere + QLatin1Char('\n'));
    if (published.sentAll)
        return Done;
    m_error.write(QStringLiteral("vornctl: %1 messages still wait in the spool %2\n")
                      .arg(published.waiting)
                      .arg(published.spoolPath)
                      .toUtf8());
    return PublishFailed;
}

int RecordsCommand::repair(const QCommandLineParser &parser, int serialNumber, LineRecords &records)
{
    QString refusal;
    const std::optional<PublishTarget> target =
        PublishTarget::choose(parser.value(PublishOption).trimmed(), &refusal);
    if (refusal.isEmpty() && parser.isSet(CfxHandleOption) &&
        parser.value(CfxHandleOption).trimmed().isEmpty())
        refusal = QStringLiteral("--cfx-handle needs a name");
    if (!refusal.isEmpty())
        return usageError(refusal);
    const LineRecords::RepairEntry entry{
        parser.value(SymptomOption).trimmed(),
        parser.value(ActionOption).trimmed(),
        parser.value(CauseOption).trimmed(),
        parser.values(PartOption),
        parser.isSet(TechnicianOption) ? parser.value(TechnicianOption)
                                       : CheckoutCommandLine::loginName(),
        parser.isSet(StationOption) ? parser.value(StationOption) : QSysInfo::machineHostName(),
        parser.value(CheckoutOption)};
    const RecordsAnswer<LineRecords::RepairKept> kept = records.repair(serialNumber, entry);
    if (!kept)
        return problem(kept.problem());
    print(QStringLiteral("repair %1 of SN %2 kept, answering checkout %3\n")
              .arg(kept->repair.id, Identification::serialText(quint16(serialNumber)),
                   kept->repair.checkoutId));
    if (!target)
        return Done;
    // The line's broker hears of the repair, with the symptoms of the checkout it answers.
    const QString handle = parser.isSet(CfxHandleOption)
                               ? parser.value(CfxHandleOption).trimmed()
                               : CfxMessages::defaultHandle(kept->repair.station);
    return told(StoredCheckoutPublisher(*target).send(
                    {CfxMessages::unitsRepaired(kept->repair, kept->checkout, handle)},
                    std::chrono::seconds(15)),
                *target, QString());
}

int RecordsCommand::dropSpooled(const QString &destination)
{
    PublishSpool spool(Publisher::defaultSpoolLocation());
    const std::optional<int> dropped = spool.open() ? spool.drop(destination) : std::nullopt;
    if (!dropped)
        return databaseError(spool.errorText());
    print(
        QStringLiteral("dropped %1 messages that waited for %2\n").arg(*dropped).arg(destination));
    return Done;
}

int RecordsCommand::usageError(const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
    m_error.write("Usage: vornctl [--records URL] records "
                  "list|show|certificate|report|history|repair|sync|migrate|publish|verify|setup ...\n"
                  "Run 'vornctl records --help' for the records commands.\n");
    return UsageError;
}

int RecordsCommand::problem(const RecordsProblem &problem)
{
    switch (problem.kind) {
    case RecordsProblem::Kind::NotFound:
        m_error.write("vornctl: " + problem.text.toUtf8() + '\n');
        return NoSuchRecord;
    case RecordsProblem::Kind::Refused:
        return usageError(problem.text);
    case RecordsProblem::Kind::Failed:
    case RecordsProblem::Kind::NotWritten:
        break;
    }
    return databaseError(problem.text);
}

int RecordsCommand::databaseError(const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
    return DatabaseFailed;
}

void RecordsCommand::print(const QString &text)
{
    m_output.write(text.toUtf8());
}
