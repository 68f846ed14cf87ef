#include "checkout/planreader.h"

#include "checkout/planfilemodule.h"
#include "checkout/stepcatalogue.h"
#include "device/readermodel.h"
#include "device/timesetting.h"

#include <QFile>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>

#include <cmath>
#include <string>

namespace {

// The first problem found, where it is.
struct Refusal
{
    PlanMark mark;
    QString what;
};

[[noreturn]] void refuse(const PlanNode &node, const QString &what)
{
    throw Refusal{node.mark, what};
}

QString scalarOf(const PlanNode &node)
{
    return QString::fromStdString(node.scalar);
}

QString keyOf(const PlanNode &key)
{
    if (!key.isScalar())
        refuse(key, QStringLiteral("a key must be a word"));
    return scalarOf(key);
}

// The map's entries by key, each key once and every key one of allowed (any when empty).
QMap<QString, std::pair<PlanNode, PlanNode>> entriesOf(const PlanNode &map, const QString &what,
                                                       const QStringList &allowed = {})
{
    if (!map.isMap())
        refuse(map, QStringLiteral("%1 must be a map of keys and values").arg(what));
    QMap<QString, std::pair<PlanNode, PlanNode>> entries;
    for (std::size_t index = 0; index < map.keys.size(); ++index) {
        const PlanNode &keyNode = map.keys[index];
        const QString key = keyOf(keyNode);
        if (const auto earlier = entries.constFind(key); earlier != entries.constEnd())
            refuse(keyNode, QStringLiteral("'%1' is given twice (first on line %2)")
                                .arg(key)
                                .arg(earlier->first.mark.line + 1));
        if (!allowed.isEmpty() && !allowed.contains(key))
            refuse(keyNode, QStringLiteral("unknown key '%1' in %2 (known: %3)")
                                .arg(key, what, allowed.join(QStringLiteral(", "))));
        entries.insert(key, {keyNode, map.items[index]});
    }
    return entries;
}

// The value of key in map, or the map itself where the key is not given.
const PlanNode &valueOf(const PlanNode &map, const QString &key)
{
    for (std::size_t index = 0; index < map.keys.size(); ++index) {
        if (scalarOf(map.keys[index]) == key)
            return map.items[index];
    }
    return map;
}

QString textOf(const PlanNode &node, const QString &what)
{
    if (!node.isScalar() || node.scalar.empty())
        refuse(node, QStringLiteral("%1 must be a text").arg(what));
    return scalarOf(node);
}

double numberOf(const PlanNode &node, const QString &what)
{
    bool ok = false;
    const double number = node.isScalar() ? scalarOf(node).toDouble(&ok) : 0;
    if (!ok || !std::isfinite(number))
        refuse(node, QStringLiteral("%1 must be a number, not '%2'")
                         .arg(what, node.isScalar() ? scalarOf(node) : QStringLiteral("a list")));
    return number;
}

int integerOf(const PlanNode &node, const QString &what, int low, int high)
{
    bool ok = false;
    const int number = node.isScalar() ? scalarOf(node).toInt(&ok) : 0;
    if (!ok || number < low || number > high)
        refuse(
            node,
            QStringLiteral("%1 must be a whole number from %2 to %3").arg(what).arg(low).arg(high));
    return number;
}

bool boolOf(const PlanNode &node, const QString &what)
{
    const QString text = node.isScalar() ? scalarOf(node) : QString();
    if (text != QLatin1String("true") && text != QLatin1String("false"))
        refuse(node, QStringLiteral("%1 must be true or false").arg(what));
    return text == QLatin1String("true");
}

QString positioned(const QString &fileName, const PlanMark &mark, const QString &what);

// One plan file being read: the canonical form and the options are built as the keys are
// checked.
class Reading
{
public:
    explicit Reading(QString fileName) : m_fileName(std::move(fileName)) {}
    CheckoutPlan read(const PlanNode &root);

private:
    void readSteps(const PlanNode &node);
    void readLimits(const PlanNode &node);
    MeasurementLimit readLimit(const PlanNode &node, const MeasurementDeclaration &declared,
                               QJsonObject &canonical);
    QJsonValue limitValue(const PlanNode &node, const MeasurementDeclaration &declared);
    void readClocks(const PlanNode &node);
    void checkSteps(const PlanNode &root);
    // Whether a reader of the plan's models could meet or fail the limit.
    void checkRange(const PlanNode &node, const MeasurementDeclaration &declared,
                    const MeasurementLimit &limit);
    void warn(const PlanNode &node, const QString &what);
    // The model the plan names, else every model: a plan is checked against each.
    QList<const ReaderModel *> models() const;
    // "a Vorn4" for a plan of one model, "a reader" for one of every model.
    QString aReader() const;

    CheckoutPlan m_plan;
    QString m_fileName;
    QMap<QString, std::pair<PlanNode, PlanNode>> m_entries;
};

const QStringList PlanKeys{
    QStringLiteral("name"),           QStringLiteral("revision"),
    QStringLiteral("description"),    QStringLiteral("model"),
    QStringLiteral("steps"),          QStringLiteral("echo"),
    QStringLiteral("prompt"),         QStringLiteral("limits"),
    QStringLiteral("program_clocks"), QStringLiteral("program_time_s"),
    QStringLiteral("retest_limit"),   QStringLiteral("require_lot"),
};

CheckoutPlan Reading::read(const PlanNode &root)
{
    m_entries = entriesOf(root, QStringLiteral("a plan"), PlanKeys);
    QJsonObject &canonical = m_plan.canonical;
    CheckoutOptions &options = m_plan.options;
    const auto given = [this](const char *key) { return m_entries.contains(QLatin1String(key)); };
    const auto value = [this](const char *key) {
        return m_entries.value(QLatin1String(key)).second;
    };

    for (const char *key : {"name", "revision"}) {
        if (!given(key))
            refuse(root, QStringLiteral("the plan has no %1").arg(QLatin1String(key)));
        canonical.insert(QLatin1String(key), textOf(value(key), QLatin1String(key)));
    }
    // A revision counts up: 1, 2, 3 ..., never "abc", "-2" or "1.5".
    static const QRegularExpression Revision(QStringLiteral("^[1-9][0-9]*$"));
    if (!Revision.match(canonical.value(QLatin1String("revision")).toString()).hasMatch())
        refuse(value("revision"), QStringLiteral("revision must be a positive whole number "
                                                 "(1, 2, 3 ...), not '%1'")
                                      .arg(canonical.value(QLatin1String("revision")).toString()));
    static const QRegularExpression Name(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._+-]*$"));
    if (!Name.match(canonical.value(QLatin1String("name")).toString()).hasMatch())
        refuse(value("name"), QStringLiteral("a plan's name is letters, digits and . _ + - "
                                             "(it is typed and scanned), without spaces"));
    if (given("description")) {
        m_plan.description = textOf(value("description"), QStringLiteral("description"));
        canonical.insert(QStringLiteral("description"), m_plan.description);
    }
    if (given("model")) {
        const QString given = value("model").isScalar() ? scalarOf(value("model")) : QString();
        bool number = false;
        const int code = given.toInt(&number);
        const ReaderModel *model = number ? ReaderModel::byTypeCode(code) : nullptr;
        if (!model)
            refuse(value("model"), ReaderModel::notAModel(QStringLiteral("model"), given));
        options.model = model->typeCode();
        canonical.insert(QStringLiteral("model"), code);
    }
    if (given("echo")) {
        const QString echo = textOf(value("echo"), QStringLiteral("echo"));
        if (echo != QLatin1String("quick") && echo != QLatin1String("all"))
            refuse(value("echo"), QStringLiteral("echo must be quick or all"));
        options.echo = echo == QLatin1String("all") ? CheckoutOptions::Echo::All
                                                    : CheckoutOptions::Echo::Quick;
        canonical.insert(QStringLiteral("echo"), echo);
    }
    if (given("prompt")) {
        m_plan.prompt = boolOf(value("prompt"), QStringLiteral("prompt"));
        canonical.insert(QStringLiteral("prompt"), *m_plan.prompt);
    }
    if (given("retest_limit")) {
        options.retestLimit =
            integerOf(value("retest_limit"), QStringLiteral("retest_limit"), 1, 1000);
        canonical.insert(QStringLiteral("retest_limit"), *options.retestLimit);
    }
    if (given("require_lot")) {
        options.requireLot = boolOf(value("require_lot"), QStringLiteral("require_lot"));
        canonical.insert(QStringLiteral("require_lot"), options.requireLot);
    }
    if (given("program_clocks"))
        readClocks(value("program_clocks"));
    if (given("program_time_s")) {
        const ValueRange settable = ReaderModel::timeSettingsStored();
        const int seconds = integerOf(value("program_time_s"), QStringLiteral("program_time_s"),
                                      int(settable.low), int(settable.high));
        options.programTimeCounts = quint16(seconds * TimeSetting::CountsPerSecond);
        canonical.insert(QStringLiteral("program_time_s"), seconds);
    }
    if (given("steps"))
        readSteps(value("steps"));
    checkSteps(root);
    if (given("limits"))
        readLimits(value("limits"));
    options.plan = CheckoutPlan::identity(canonical);
    return m_plan;
}

void Reading::readSteps(const PlanNode &node)
{
    if (!node.isSequence() || node.items.empty())
        refuse(node, QStringLiteral("steps must be a list of step names"));
    const QStringList catalogue = StepCatalogue::stepNames();
    QStringList &steps = m_plan.options.steps;
    for (const PlanNode &item : node.items) {
        const QString name = textOf(item, QStringLiteral("a step"));
        if (!catalogue.contains(name))
            refuse(item, QStringLiteral("unknown step '%1' (known: %2)")
                             .arg(name, catalogue.join(QStringLiteral(", "))));
        if (steps.contains(name))
            refuse(item, QStringLiteral("step '%1' is listed twice").arg(name));
        if (!steps.isEmpty() && catalogue.indexOf(name) < catalogue.indexOf(steps.last()))
            refuse(item, QStringLiteral("steps run in the order %1: '%2' comes before '%3'")
                             .arg(catalogue.join(QStringLiteral(", ")), name, steps.last()));
        const StepDeclaration *declared = StepCatalogue::step(name);
        for (const ReaderModel *model : models()) {
            if (declared->runsOn(*model))
                continue;
            refuse(item, m_plan.options.model
                             ? QStringLiteral("step '%1' cannot run on a %2: it has no Tarvik "
                                              "protocol")
                                   .arg(name, model->name())
                             : QStringLiteral("step '%1' cannot run on a %2: say which model "
                                              "the plan is for (model: ...)")
                                   .arg(name, model->name()));
        }
        for (const QString &needed : declared->needsSteps) {
            if (!steps.contains(needed))
                refuse(item, QStringLiteral("step '%1' needs '%2' before it").arg(name, needed));
        }
        steps.append(name);
    }
    m_plan.options.cards = steps.contains(QLatin1String("cards"));
    m_plan.canonical.insert(QStringLiteral("steps"), QJsonArray::fromStringList(steps));
}

// The programming steps run when their values are given, and only then; an operator's step
// needs an operator.
void Reading::checkSteps(const PlanNode &root)
{
    const CheckoutOptions &options = m_plan.options;
    if (options.steps.isEmpty())
        return;
    const PlanNode steps = m_entries.value(QStringLiteral("steps")).second;
    const std::pair<const char *, bool> programming[] = {
        {"program-clocks", options.programClocks.has_value()},
        {"program-time", options.programTimeCounts.has_value()},
    };
    for (const auto &[step, valueGiven] : programming) {
        const QString name = QLatin1String(step);
        const QString key =
            QString(name).replace(QLatin1Char('-'), QLatin1Char('_')) +
            (name == QLatin1String("program-time") ? QStringLiteral("_s") : QString());
        if (options.steps.contains(name) && !valueGiven)
            refuse(root, QStringLiteral("step '%1' needs %2").arg(name, key));
        if (!options.steps.contains(name) && valueGiven)
            refuse(m_entries.value(key).first,
                   QStringLiteral("%1 is given but step '%2' is not in steps").arg(key, name));
    }
    if (m_plan.prompt == false) {
        for (const QString &name : options.steps) {
            if (StepCatalogue::step(name)->needsOperator())
                refuse(
                    steps,
                    QStringLiteral("step '%1' needs an operator, but prompt is false").arg(name));
        }
    }
}

void Reading::readClocks(const PlanNode &node)
{
    if (!node.isSequence())
        refuse(node, QStringLiteral("program_clocks must be a list of clocks in MHz, slot 1 "
                                    "first"));
    // Every model of the plan stores one clock a slot: without a model, the plan cannot say
    // clocks that fit both.
    for (const ReaderModel *model : models()) {
        if (int(node.items.size()) == model->slotCount())
            continue;
        refuse(node,
               QStringLiteral("a %1 stores %2 clocks, not %3%4")
                   .arg(model->name())
                   .arg(model->slotCount())
                   .arg(node.items.size())
                   .arg(m_plan.options.model ? QString()
                                             : QStringLiteral(": say which model the plan is for "
                                                              "(model: ...)")));
    }
    const int slotCount = int(node.items.size());
    const ValueRange frequencies = ReaderModel::clockFrequencies();
    ClockSelection clocks;
    QJsonArray canonical;
    for (int slot = 0; slot < slotCount; ++slot) {
        const PlanNode &item = node.items[std::size_t(slot)];
        const double megahertz = numberOf(item, QStringLiteral("a clock"));
        if (!frequencies.contains(megahertz))
            refuse(item, QStringLiteral("the clock of slot %1 must be %2 MHz, not %3")
                             .arg(slot + 1)
                             .arg(frequencies.text(), scalarOf(item)));
        clocks.setCode(slot, quint8(frequencies.only.indexOf(megahertz)));
        canonical.append(megahertz);
    }
    m_plan.options.programClocks = clocks;
    m_plan.canonical.insert(QStringLiteral("program_clocks"), canonical);
}

void Reading::readLimits(const PlanNode &node)
{
    CheckoutOptions &options = m_plan.options;
    const QStringList steps = options.stepNames();
    QJsonObject canonical;
    const auto entries = entriesOf(node, QStringLiteral("limits"));
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        const QString &name = entry.key();
        const StepDeclaration *step = nullptr;
        const MeasurementDeclaration *declared = StepCatalogue::measurement(name, &step);
        const PlanNode &key = entry->first;
        if (!declared) {
            QStringList known;
            for (const QString &stepName : steps)
                known += StepCatalogue::step(stepName)->settableMeasurements();
            refuse(key, QStringLiteral("unknown measurement '%1' (known: %2)")
                            .arg(name, known.join(QStringLiteral(", "))));
        }
        if (declared->fixed())
            refuse(key, QStringLiteral("the limit of '%1' comes from the reader or the "
                                       "checkout (%2) and cannot be set")
                            .arg(name, declared->fixedLimit));
        if (!steps.contains(step->name))
            refuse(key, QStringLiteral("'%1' is measured by step '%2', which the plan does not run")
                            .arg(name, step->name));
        if (name == QLatin1String("model_type") && options.model)
            refuse(key, QStringLiteral("model already sets the limit of model_type"));
        QJsonObject limitJson;
        const MeasurementLimit limit = readLimit(entry->second, *declared, limitJson);
        checkRange(entry->second, *declared, limit);
        options.limits.insert(name, limit);
        canonical.insert(name, limitJson);
    }
    m_plan.canonical.insert(QStringLiteral("limits"), canonical);
}

MeasurementLimit Reading::readLimit(const PlanNode &node, const MeasurementDeclaration &declared,
                                    QJsonObject &canonical)
{
    const auto entries = entriesOf(node, QStringLiteral("a limit"),
                                   {QStringLiteral("low"), QStringLiteral("high"),
                                    QStringLiteral("equals"), QStringLiteral("one_of")});
    const bool range =
        entries.contains(QStringLiteral("low")) || entries.contains(QStringLiteral("high"));
    if (entries.isEmpty() || (range ? 1 : 0) + entries.count(QStringLiteral("equals")) +
                                     entries.count(QStringLiteral("one_of")) !=
                                 1)
        refuse(node, QStringLiteral("a limit is {low, high} (either may be left out), {equals} "
                                    "or {one_of}"));
    if (const auto equals = entries.constFind(QStringLiteral("equals")); equals != entries.cend()) {
        const QJsonValue value = limitValue(equals->second, declared);
        canonical.insert(QStringLiteral("equals"), value);
        return MeasurementLimit::equals(value);
    }
    if (const auto oneOf = entries.constFind(QStringLiteral("one_of")); oneOf != entries.cend()) {
        if (!oneOf->second.isSequence() || oneOf->second.items.empty())
            refuse(oneOf->second, QStringLiteral("one_of must be a list of values"));
        QJsonArray values;
        for (const PlanNode &item : oneOf->second.items)
            values.append(limitValue(item, declared));
        canonical.insert(QStringLiteral("one_of"), values);
        return MeasurementLimit::oneOf(values);
    }
    if (declared.value == MeasurementDeclaration::Value::Bool)
        refuse(node, QStringLiteral("'%1' is true or false: its limit is {equals: true} or "
                                    "{equals: false}")
                         .arg(declared.name));
    std::optional<double> ends[2];
    const char *names[2] = {"low", "high"};
    for (int end = 0; end < 2; ++end) {
        if (const auto given = entries.constFind(QLatin1String(names[end]));
            given != entries.cend()) {
            ends[end] = numberOf(given->second, QLatin1String(names[end]));
            canonical.insert(QLatin1String(names[end]), *ends[end]);
        }
    }
    if (ends[0] && ends[1] && *ends[0] > *ends[1])
        refuse(entries.value(QStringLiteral("high")).second,
               QStringLiteral("high %1 is below low %2").arg(*ends[1]).arg(*ends[0]));
    return MeasurementLimit::range(ends[0], ends[1]);
}

QList<const ReaderModel *> Reading::models() const
{
    if (m_plan.options.model)
        return {ReaderModel::byTypeCode(*m_plan.options.model)};
    QList<const ReaderModel *> every;
    for (const ReaderModel &model : ReaderModel::all())
        every.append(&model);
    return every;
}

QString Reading::aReader() const
{
    return m_plan.options.model ? QStringLiteral("a ") + models().first()->name()
                                : QStringLiteral("a reader");
}

void Reading::warn(const PlanNode &node, const QString &what)
{
    m_plan.warnings.append(positioned(m_fileName, node.mark, QStringLiteral("warning: ") + what));
}

// A limit holds only values a reader of the plan's models can report: an end beyond them
// either fails every reader or checks nothing, and a limit that holds all of them checks
// nothing at all (a warning: the plan still works).
void Reading::checkRange(const PlanNode &node, const MeasurementDeclaration &declared,
                         const MeasurementLimit &limit)
{
    if (!declared.reported)
        return;
    const QList<const ReaderModel *> plansModels = models();
    ValueRange reported = declared.reported(*plansModels.first());
    for (const ReaderModel *model : plansModels)
        reported = reported.joined(declared.reported(*model));
    const QString within =
        QStringLiteral("outside what %1 reports (%2)")
            .arg(aReader(),
                 reported.text() +
                     (declared.unit.isEmpty() ? QString() : QLatin1Char(' ') + declared.unit));
    const auto numberText = [](double number) { return QString::number(number, 'g', 10); };
    if (limit.kind() == MeasurementLimit::Kind::Range) {
        const std::pair<const char *, std::optional<double>> ends[] = {{"low", limit.low()},
                                                                       {"high", limit.high()}};
        for (const auto &[end, value] : ends) {
            if (!value || (*value >= reported.low && *value <= reported.high))
                continue;
            const bool nobodyMeets = (QLatin1String(end) == QLatin1String("low"))
                                         ? *value > reported.high
                                         : *value < reported.low;
            refuse(valueOf(node, QLatin1String(end)),
                   QStringLiteral("%1 %2 of '%3' is %4: %5")
                       .arg(QLatin1String(end), numberText(*value), declared.name, within,
                            nobodyMeets ? QStringLiteral("no reader could meet it")
                                        : QStringLiteral("every reader meets it")));
        }
        if (limit.low().value_or(reported.low) <= reported.low &&
            limit.high().value_or(reported.high) >= reported.high)
            warn(node, QStringLiteral("the limit of '%1' holds every value %2 reports (%3): it "
                                      "checks nothing")
                           .arg(declared.name, aReader(), reported.text()));
        return;
    }
    bool holdsEvery = !reported.only.isEmpty();
    for (const QJsonValue value : limit.values()) {
        if (!reported.contains(value.toDouble()))
            refuse(node, QStringLiteral("%1 of '%2' is %3: no reader could meet it")
                             .arg(numberText(value.toDouble()), declared.name, within));
    }
    for (const double value : reported.only)
        holdsEvery = holdsEvery && limit.values().contains(QJsonValue(value));
    if (holdsEvery)
        warn(node, QStringLiteral("the limit of '%1' holds every value %2 reports (%3): it "
                                  "checks nothing")
                       .arg(declared.name, aReader(), reported.text()));
}

QJsonValue Reading::limitValue(const PlanNode &node, const MeasurementDeclaration &declared)
{
    if (declared.value == MeasurementDeclaration::Value::Bool)
        return boolOf(node, QStringLiteral("a value of '%1'").arg(declared.name));
    return numberOf(node, QStringLiteral("a value of '%1'").arg(declared.name));
}

QString positioned(const QString &fileName, const PlanMark &mark, const QString &what)
{
    // A mark of a node that has none (the document of an empty file) reads as its start.
    const int line = mark.line < 0 ? 1 : mark.line + 1;
    const int column = mark.column < 0 ? 1 : mark.column + 1;
    return QStringLiteral("%1:%2:%3: %4").arg(fileName).arg(line).arg(column).arg(what);
}

} // namespace

bool PlanReader::hasPlanExtension(const QString &path)
{
    return path.endsWith(QLatin1String(".yaml")) || path.endsWith(QLatin1String(".yml"));
}

std::optional<CheckoutPlan> PlanReader::readFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::optional<CheckoutPlan> plan = read(file.readAll(), path, error);
    if (plan)
        plan->path = path;
    return plan;
}

std::optional<CheckoutPlan> PlanReader::read(const QByteArray &text, const QString &fileName,
                                             QString *error)
{
    const PlanFileModule::Parsed parsed = PlanFileModule::parse(text);
    const QString failure = QString::fromStdString(parsed.failure.what);
    if (parsed.moduleMissing) {
        if (error)
            *error = QStringLiteral("%1: cannot be read: %2").arg(fileName, failure);
        return std::nullopt;
    }
    if (!parsed.root) {
        if (error)
            *error = positioned(fileName, parsed.failure.mark, failure);
        return std::nullopt;
    }
    try {
        return Reading(fileName).read(*parsed.root);
    } catch (const Refusal &refusal) {
        if (error)
            *error = positioned(fileName, refusal.mark, refusal.what);
    }
    return std::nullopt;
}
