#include "checkout/planfilemodule.h"

#include "process/programmodule.h"

namespace PlanFileModule {

Parsed parse(const QByteArray &text)
{
    Parsed parsed;
    QString error;
    const auto parser = reinterpret_cast<PlanFileParser>(
        ProgramModule::resolve(QStringLiteral("libvorn-planfile.so"), PlanFileParserName,
                               QStringLiteral("the plan file reader"), &error));
    if (!parser) {
        parsed.failure.what = error.toStdString();
        parsed.moduleMissing = true;
        return parsed;
    }
    PlanNode root;
    if (parser(text.constData(), std::size_t(text.size()), &root, &parsed.failure))
        parsed.root = std::move(root);
    return parsed;
}

} // namespace PlanFileModule
