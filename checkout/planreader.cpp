#include "checkout/planreader.h"

#include "checkout/stepcatalogue.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"

#include <QFile>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>

#include <yaml-cpp/yaml.h>

#include <cmath>
#include <string>

namespace {

// The first problem found, where it is.
struct Refusal
{
    YAML::Mark mark;
    QString what;
};

[[noreturn]] void refuse(const YAML::Node &node, const QString &what)
{
    throw Refusal{node.Mark(), what};
}

QString scalarOf(const YAML::Node &node)
{
    return QString::fromStdString(node.Scalar());
}

QString keyOf(const YAML::Node &key)
{
    if (!key.IsScalar())
        refuse(key, QStringLiteral("a key must be a word"));
    return scalarOf(key);
}

// The map's entries by key, each key once and every key one of allowed (any when empty).
QMap<QString, std::pair<YAML::Node, YAML::Node>>
entriesOf(const YAML::Node &map, const QString &what, const QStringList &allowed = {})
{
    if (!map.IsMap())
        refuse(map, QStringLiteral("%1 must be a map of keys and values").arg(what));
    QMap<QString, std::pair<YAML::Node, YAML::Node>> entries;
    for (auto entry = map.begin(); entry != map.end(); ++entry) {
        const QString key = keyOf(entry->first);
        if (const auto earlier = entries.constFind(key); earlier != entries.constEnd())
            refuse(entry->first, QStringLiteral("'%1' is given twice (first on line %2)")
                                     .arg(key)
                                     .arg(earlier->first.Mark().line + 1));
        if (!allowed.isEmpty() && !allowed.contains(key))
            refuse(entry->first, QStringLiteral("unknown key '%1' in %2 (known: %3)")
                                     .arg(key, what, allowed.join(QStringLiteral(", "))));
        entries.insert(key, {entry->first, entry->second});
    }
    return entries;
}

QString textOf(const YAML::Node &node, const QString &what)
{
    if (!node.IsScalar() || node.Scalar().empty())
        refuse(node, QStringLiteral("%1 must be a text").arg(what));
    return scalarOf(node);
}

double numberOf(const YAML::Node &node, const QString &what)
{
    bool ok = false;
    const double number = node.IsScalar() ? scalarOf(node).toDouble(&ok) : 0;
    if (!ok || !std::isfinite(number))
        refuse(node, QStringLiteral("%1 must be a number, not '%2'")
                         .arg(what, node.IsScalar() ? scalarOf(node) : QStringLiteral("a list")));
    return number;
}

int integerOf(const YAML::Node &node, const QString &what, int low, int high)
{
    bool ok = false;
    const int number = node.IsScalar() ? scalarOf(node).toInt(&ok) : 0;
    if (!ok || number < low || number > high)
        refuse(
            node,
            QStringLiteral("%1 must be a whole number from %2 to %3").arg(what).arg(low).arg(high));
    return number;
}

bool boolOf(const YAML::Node &node, const QString &what)
{
    const QString text = node.IsScalar() ? scalarOf(node) : QString();
    if (text != QLatin1String("true") && text != QLatin1String("false"))
        refuse(node, QStringLiteral("%1 must be true or false").arg(what));
    return text == QLatin1String("true");
}

// One plan file being read: the canonical form and the options are built as the keys are
// checked.
class Reading
{
public:
    CheckoutPlan read(const YAML::Node &root);

private:
    void readSteps(const YAML::Node &node);
    void readLimits(const YAML::Node &node);
    MeasurementLimit readLimit(const YAML::Node &node, const MeasurementDeclaration &declared,
                               QJsonObject &canonical);
    QJsonValue limitValue(const YAML::Node &node, const MeasurementDeclaration &declared);
    void readClocks(const YAML::Node &node);
    void checkSteps(const YAML::Node &root);

    CheckoutPlan m_plan;
    QMap<QString, std::pair<YAML::Node, YAML::Node>> m_entries;
};

const QStringList PlanKeys{
    QStringLiteral("name"),           QStringLiteral("revision"),
    QStringLiteral("description"),    QStringLiteral("model"),
    QStringLiteral("steps"),          QStringLiteral("echo"),
    QStringLiteral("prompt"),         QStringLiteral("limits"),
    QStringLiteral("program_clocks"), QStringLiteral("program_time_s"),
    QStringLiteral("retest_limit"),   QStringLiteral("require_lot"),
};

CheckoutPlan Reading::read(const YAML::Node &root)
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
    static const QRegularExpression Name(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._+-]*$"));
    if (!Name.match(canonical.value(QLatin1String("name")).toString()).hasMatch())
        refuse(value("name"), QStringLiteral("a plan's name is letters, digits and . _ + - "
                                             "(it is typed and scanned), without spaces"));
    if (given("description")) {
        m_plan.description = textOf(value("description"), QStringLiteral("description"));
        canonical.insert(QStringLiteral("description"), m_plan.description);
    }
    if (given("model")) {
        const int model = integerOf(value("model"), QStringLiteral("model"), 4, 8);
        if (model != ReaderProtocol::FourSlotModel && model != ReaderProtocol::EightSlotModel)
            refuse(value("model"), QStringLiteral("model must be 4 or 8"));
        options.model = quint8(model);
        canonical.insert(QStringLiteral("model"), model);
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
        const int seconds = integerOf(value("program_time_s"), QStringLiteral("program_time_s"), 0,
                                      TimeSetting::MaxSeconds);
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

void Reading::readSteps(const YAML::Node &node)
{
    if (!node.IsSequence() || node.size() == 0)
        refuse(node, QStringLiteral("steps must be a list of step names"));
    const QStringList catalogue = StepCatalogue::stepNames();
    QStringList &steps = m_plan.options.steps;
    for (const YAML::Node &item : node) {
        const QString name = textOf(item, QStringLiteral("a step"));
        if (!catalogue.contains(name))
            refuse(item, QStringLiteral("unknown step '%1' (known: %2)")
                             .arg(name, catalogue.join(QStringLiteral(", "))));
        if (steps.contains(name))
            refuse(item, QStringLiteral("step '%1' is listed twice").arg(name));
        if (!steps.isEmpty() && catalogue.indexOf(name) < catalogue.indexOf(steps.last()))
            refuse(item, QStringLiteral("steps run in the order %1: '%2' comes before '%3'")
                             .arg(catalogue.join(QStringLiteral(", ")), name, steps.last()));
        for (const QString &needed : StepCatalogue::step(name)->needsSteps) {
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
void Reading::checkSteps(const YAML::Node &root)
{
    const CheckoutOptions &options = m_plan.options;
    if (options.steps.isEmpty())
        return;
    const YAML::Node steps = m_entries.value(QStringLiteral("steps")).second;
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

void Reading::readClocks(const YAML::Node &node)
{
    const int slotCount = m_plan.options.model.value_or(ReaderProtocol::SlotCount);
    if (!node.IsSequence())
        refuse(node, QStringLiteral("program_clocks must be a list of clocks in MHz, slot 1 "
                                    "first"));
    if (int(node.size()) != slotCount)
        refuse(node, QStringLiteral("a plan for %1 slots programs %1 clocks, not %2")
                         .arg(slotCount)
                         .arg(node.size()));
    ClockSelection clocks;
    QJsonArray canonical;
    for (int slot = 0; slot < slotCount; ++slot) {
        const YAML::Node item = node[std::size_t(slot)];
        const double megahertz = numberOf(item, QStringLiteral("a clock"));
        std::optional<quint8> code;
        for (quint8 each = 0; each < ClockSelection::CodeCount; ++each) {
            if (ClockSelection::frequencyText(each).toDouble() == megahertz)
                code = each;
        }
        if (!code)
            refuse(item, QStringLiteral("the clock of slot %1 must be 3.57, 3.68, 6.00 or 8.00")
                             .arg(slot + 1));
        clocks.setCode(slot, *code);
        canonical.append(megahertz);
    }
    m_plan.options.programClocks = clocks;
    m_plan.canonical.insert(QStringLiteral("program_clocks"), canonical);
}

void Reading::readLimits(const YAML::Node &node)
{
    CheckoutOptions &options = m_plan.options;
    const QStringList steps = options.stepNames();
    QJsonObject canonical;
    const auto entries = entriesOf(node, QStringLiteral("limits"));
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        const QString &name = entry.key();
        const StepDeclaration *step = nullptr;
        const MeasurementDeclaration *declared = StepCatalogue::measurement(name, &step);
        const YAML::Node &key = entry->first;
        if (!declared)
            refuse(key, QStringLiteral("unknown measurement '%1'").arg(name));
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
        options.limits.insert(name, readLimit(entry->second, *declared, limitJson));
        canonical.insert(name, limitJson);
    }
    m_plan.canonical.insert(QStringLiteral("limits"), canonical);
}

MeasurementLimit Reading::readLimit(const YAML::Node &node, const MeasurementDeclaration &declared,
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
        if (!oneOf->second.IsSequence() || oneOf->second.size() == 0)
            refuse(oneOf->second, QStringLiteral("one_of must be a list of values"));
        QJsonArray values;
        for (const YAML::Node &item : oneOf->second)
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

QJsonValue Reading::limitValue(const YAML::Node &node, const MeasurementDeclaration &declared)
{
    if (declared.value == MeasurementDeclaration::Value::Bool)
        return boolOf(node, QStringLiteral("a value of '%1'").arg(declared.name));
    return numberOf(node, QStringLiteral("a value of '%1'").arg(declared.name));
}

QString positioned(const QString &fileName, const YAML::Mark &mark, const QString &what)
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
    try {
        return Reading().read(YAML::Load(text.toStdString()));
    } catch (const Refusal &refusal) {
        if (error)
            *error = positioned(fileName, refusal.mark, refusal.what);
    } catch (const YAML::Exception &exception) {
        if (error)
            *error = positioned(fileName, exception.mark, QString::fromStdString(exception.msg));
    }
    return std::nullopt;
}
