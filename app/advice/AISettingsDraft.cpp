#include "app/advice/AISettingsDraft.h"

#include "core/ai/AIText.h"

namespace lunorvale {

namespace {

bool isListedModel(AIServicePreset preset, const QString& model) {
    return preset.models().contains(AIText::trimmed(model));
}

} // namespace

AISettingsDraft::AISettingsDraft(const AIConfiguration& configuration)
    : configuration(configuration), service(AIServicePreset::matching(configuration.baseURL)),
      usesCustomModel(!isListedModel(service, configuration.model)) {}

void AISettingsDraft::selectService(AIServicePreset preset) {
    service = preset;
    if (preset.kind() == AIServicePreset::Kind::custom) {
        usesCustomModel = true;
        return;
    }
    if (configuration.baseURL != preset.baseURL())
        apiKey.clear();
    configuration.baseURL = preset.baseURL();
    const QStringList models = preset.models();
    configuration.model = models.isEmpty() ? QString() : models.first();
    usesCustomModel = models.isEmpty();
}

void AISettingsDraft::editBaseURL(const QString& text) {
    if (text != configuration.baseURL)
        apiKey.clear();
    configuration.baseURL = text;
    service = AIServicePreset::matching(text);
    usesCustomModel = !isListedModel(service, configuration.model);
}

} // namespace lunorvale
