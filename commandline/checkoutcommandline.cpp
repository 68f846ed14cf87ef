#include "commandline/checkoutcommandline.h"

#include "checkout/decimaltext.h"
#include "checkout/planlibrary.h"
#include "device/readermodel.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"

#include <QCommandLineParser>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString PlanOption = QStringLiteral("plan");
const QString ModelOption = QStringLiteral("model");
const QString MinFirmwareOption = QStringLiteral("min-firmware");
const QString EchoOption = QStringLiteral("echo");
const QString CardsOption = QStringLiteral("cards");
const QString ProgramClocksOption = QStringLiteral("program-clocks");
const QString ProgramTimeOption = QStringLiteral("program-time");
const QString StationOption = QStringLiteral("station");
const QString OperatorOption = QStringLiteral("operator");
const QString LotOption = QStringLiteral("lot");
const QString RequireLotOption = QStringLiteral("require-lot");
const QString PublishOption = QStringLiteral("publish");
const QString CfxHandleOption = QStringLiteral("cfx-handle");
const QString RetestLimitOption = QStringLiteral("retest-limit");
// More failures in a row than a line would ever allow before a repair.
constexpr uint MostRetests = 1000;

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

void CheckoutCommandLine::addOptions(QCommandLineParser &parser)
{
    parser.addOption({PlanOption,
                      QStringLiteral("checkout: the product's test plan, by name (from "
                                     "~/.config/vorn-tool/plans or /etc/vorn-tool/plans) or as "
                                     "a file; it replaces the options that say what is checked."),
                      QStringLiteral("NAME|FILE")});
    parser.addOption({ModelOption, QStringLiteral("checkout: the model every reader must be."),
                      QStringLiteral("4|8")});
    parser.addOption({MinFirmwareOption,
                      QStringLiteral("checkout: the lowest firmware version accepted."),
                      QStringLiteral("N")});
    parser.addOption(
        {EchoOption,
         QStringLiteral("checkout: echo eight byte values (quick, the default) or all 256."),
         QStringLiteral("quick|all")});
    parser.addOption({CardsOption, QStringLiteral("checkout: have cards inserted into every slot "
                                                  "and removed again (asks the operator).")});
    parser.addOption({ProgramClocksOption,
                      QStringLiteral("checkout: store these card clocks, slot 1 first."),
                      QStringLiteral("F1,...,F8")});
    parser.addOption({ProgramTimeOption, QStringLiteral("checkout: store this time setting."),
                      QStringLiteral("S")});
    parser.addOption(
        {StationOption,
         QStringLiteral("checkout: the station named in the record (default: the host name)."),
         QStringLiteral("NAME")});
    parser.addOption({OperatorOption,
                      QStringLiteral("checkout: who checks, named in the record (default: the "
                                     "login name; at a station, the name entered last)."),
                      QStringLiteral("NAME")});
    parser.addOption({LotOption,
                      QStringLiteral("checkout: the work order or lot of the readers, named in "
                                     "the record (at a station, the lot entered last)."),
                      QStringLiteral("TEXT")});
    parser.addOption(
        {RequireLotOption, QStringLiteral("checkout: check no reader without a lot (--lot, or at a "
                                          "station the Lot field).")});
    parser.addOption({PublishOption,
                      QStringLiteral("checkout: also publish every reader's checkout as IPC-CFX "
                                     "messages to amqp[s]://[USER@]HOST[:PORT]/ADDRESS (an AMQP "
                                     "1.0 broker). Default: $VORN_PUBLISH."),
                      QStringLiteral("URL")});
    parser.addOption({CfxHandleOption,
                      QStringLiteral("checkout: the station's CFX handle, the source of the "
                                     "messages (default: Vorn.Station.<station>)."),
                      QStringLiteral("NAME")});
    parser.addOption({RetestLimitOption,
                      QStringLiteral("checkout: refuse a reader whose last N checkouts since its "
                                     "last repair all failed (default: no limit)."),
                      QStringLiteral("N")});
}

QStringList CheckoutCommandLine::optionNames()
{
    return {PlanOption,      ModelOption,         MinFirmwareOption, EchoOption,
            CardsOption,     ProgramClocksOption, ProgramTimeOption, StationOption,
            OperatorOption,  LotOption,           RequireLotOption,  PublishOption,
            CfxHandleOption, RetestLimitOption};
}

std::optional<CheckoutCommandLine::Parsed>
CheckoutCommandLine::take(const QCommandLineParser &parser, QString *error, bool *planRefused)
{
    Parsed parsed;
    if (planRefused)
        *planRefused = false;
    if (parser.isSet(PlanOption) ? !takePlan(parser, parsed, error, planRefused)
                                 : !takeOptions(parser, parsed.options, error))
        return std::nullopt;
    parsed.station = parser.value(StationOption);
    if (parser.isSet(OperatorOption))
        parsed.operatorName = parser.value(OperatorOption).trimmed();
    if (parser.isSet(LotOption))
        parsed.lot = parser.value(LotOption).trimmed();
    if (!takePublishing(parser, parsed, error))
        return std::nullopt;
    return parsed;
}

bool CheckoutCommandLine::takePlan(const QCommandLineParser &parser, Parsed &parsed, QString *error,
                                   bool *planRefused)
{
    for (const QString &option :
         {ModelOption, MinFirmwareOption, EchoOption, CardsOption, ProgramClocksOption,
          ProgramTimeOption, RequireLotOption, RetestLimitOption}) {
        if (parser.isSet(option))
            return failWith(error, QStringLiteral("--%1 cannot be given with --plan: the plan "
                                                  "says what is checked")
                                       .arg(option));
    }
    std::optional<CheckoutPlan> plan = PlanLibrary::load(parser.value(PlanOption), error);
    if (!plan) {
        if (planRefused)
            *planRefused = true;
        return false;
    }
    parsed.options = plan->options;
    parsed.fromPlan = true;
    parsed.planPrompt = plan->prompt;
    return true;
}

bool CheckoutCommandLine::takeOptions(const QCommandLineParser &parser, CheckoutOptions &options,
                                      QString *error)
{
    if (parser.isSet(ModelOption)) {
        const QString given = parser.value(ModelOption);
        const std::optional<uint> code = DecimalText::inRange(given, 0, 255);
        const ReaderModel *model = code ? ReaderModel::byTypeCode(int(*code)) : nullptr;
        if (!model)
            return failWith(error, ReaderModel::notAModel(QStringLiteral("--model"), given));
        options.model = model->typeCode();
    }
    if (parser.isSet(MinFirmwareOption)) {
        const std::optional<uint> version =
            DecimalText::inRange(parser.value(MinFirmwareOption), 0, 255);
        if (!version)
            return failWith(
                error, QStringLiteral("--min-firmware must be a number from 0 to 255, not '%1'")
                           .arg(parser.value(MinFirmwareOption)));
        options.minFirmware = quint8(*version);
    }
    if (parser.isSet(EchoOption)) {
        const QString echo = parser.value(EchoOption);
        if (echo != QLatin1String("quick") && echo != QLatin1String("all"))
            return failWith(error,
                            QStringLiteral("--echo must be quick or all, not '%1'").arg(echo));
        options.echo = echo == QLatin1String("all") ? CheckoutOptions::Echo::All
                                                    : CheckoutOptions::Echo::Quick;
    }
    if (parser.isSet(RetestLimitOption)) {
        const std::optional<uint> limit =
            DecimalText::inRange(parser.value(RetestLimitOption), 1, MostRetests);
        if (!limit)
            return failWith(error,
                            QStringLiteral("--retest-limit must be a number from 1 to %1, not '%2'")
                                .arg(MostRetests)
                                .arg(parser.value(RetestLimitOption)));
        options.retestLimit = int(*limit);
    }
    options.cards = parser.isSet(CardsOption);
    options.requireLot = parser.isSet(RequireLotOption);
    if (parser.isSet(ProgramClocksOption)) {
        const QStringList clocks = parser.value(ProgramClocksOption).split(QLatin1Char(','));
        // One clock a slot of the model asked for, or of the largest model.
        const int slotCount = ReaderModel::orLargest(options.model).slotCount();
        if (clocks.size() != slotCount)
            return failWith(error, QStringLiteral("--program-clocks takes %1 clocks separated by "
                                                  "commas, slot 1 first, not '%2'")
                                       .arg(slotCount)
                                       .arg(parser.value(ProgramClocksOption)));
        options.programClocks = clocksFromTexts(clocks, error);
        if (!options.programClocks)
            return false;
    }
    if (parser.isSet(ProgramTimeOption)) {
        options.programTimeCounts = countsFromSeconds(parser.value(ProgramTimeOption), error);
        if (!options.programTimeCounts)
            return false;
    }
    options.plan = CheckoutPlan::commandLineIdentity(options);
    return true;
}

bool CheckoutCommandLine::takePublishing(const QCommandLineParser &parser, Parsed &parsed,
                                         QString *error)
{
    if (parser.isSet(PublishOption) && parser.value(PublishOption).trimmed().isEmpty())
        return failWith(error, QStringLiteral("--publish needs a URL"));
    QString problem;
    parsed.publish = PublishTarget::choose(parser.value(PublishOption).trimmed(), &problem);
    if (!problem.isEmpty())
        return failWith(error, problem);
    if (parser.isSet(CfxHandleOption)) {
        parsed.cfxHandle = parser.value(CfxHandleOption).trimmed();
        if (parsed.cfxHandle.isEmpty())
            return failWith(error, QStringLiteral("--cfx-handle needs a name"));
        if (!parsed.publish)
            return failWith(error, QStringLiteral("--cfx-handle names the station on a message "
                                                  "bus: give --publish URL (or VORN_PUBLISH) too"));
    }
    return true;
}

std::optional<ClockSelection> CheckoutCommandLine::clocksFromTexts(const QStringList &texts,
                                                                   QString *error)
{
    ClockSelection clocks;
    for (int slot = 0; slot < ReaderProtocol::SlotCount && slot < texts.size(); ++slot) {
        const std::optional<quint8> code = ClockSelection::codeForFrequency(texts.at(slot));
        if (!code) {
            failWith(error, QStringLiteral(
                                "the clock of slot %1 must be 3.57, 3.68, 6.00 or 8.00, not '%2'")
                                .arg(slot + 1)
                                .arg(texts.at(slot)));
            return std::nullopt;
        }
        clocks.setCode(slot, *code);
    }
    return clocks;
}

std::optional<quint16> CheckoutCommandLine::countsFromSeconds(const QString &text, QString *error)
{
    const std::optional<uint> seconds = DecimalText::inRange(text, 0, TimeSetting::MaxSeconds);
    const std::optional<quint16> counts =
        seconds ? std::optional(quint16(*seconds * TimeSetting::CountsPerSecond)) : std::nullopt;
    if (!counts)
        failWith(error,
                 QStringLiteral("the time must be a number of seconds from 0 to %1, not '%2'")
                     .arg(TimeSetting::MaxSeconds)
                     .arg(text));
    return counts;
}

QString CheckoutCommandLine::loginName()
{
    for (const char *variable : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    // A service or a container may set neither: the account the program runs as.
    const passwd *account = getpwuid(geteuid());
    return account && account->pw_name ? QString::fromLocal8Bit(account->pw_name) : QString();
}
