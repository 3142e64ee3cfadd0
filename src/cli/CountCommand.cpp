#include "cli/CountCommand.h"

#include "cli/CountModes.h"
#include "cli/CountOptions.h"
#include "cli/CountSession.h"

namespace tarvik {

CountCommand::CountCommand(Environment env) : m_env(std::move(env)) {}

int CountCommand::execute(const QStringList& args, std::ostream& out, std::ostream& err)
{
    const ParsedCount parsed = parseCountOptions(args, m_env.cores, out, err);
    if (parsed.exitStatus)
        return *parsed.exitStatus;
    const CountOptions& options = parsed.options;

    CountSession session(options, m_env, out, err);
    const QString settingsPath = !options.settingsPath.isNull() ? options.settingsPath
                                 : m_findSettings            ? m_findSettings()
                                                             : m_env.defaultSettingsPath;
    if (!session.loadSettings(settingsPath))
        return kBadArguments;

    const std::unique_ptr<CountMode> mode = CountMode::create(options.mode);
    if (const std::optional<int> exit = mode->prepare(session))
        return *exit;
    if (!session.openOutput())
        return kFailed;
    return mode->run(session);
}

} // namespace tarvik
