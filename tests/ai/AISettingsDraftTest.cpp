#include "app/advice/AISettingsDraft.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Preset = AIServicePreset::Kind;

TEST(AISettingsDraft, OpensFromTheStoredConfiguration) {
    struct Case {
        QString base, model;
        Preset service;
        bool custom;
    };
    const QList<Case> cases{
        {"https://api.deepseek.com/", "deepseek-v4-pro ", Preset::deepSeek, false},
        {"https://api.deepseek.com", "DeepSeek-v4-pro", Preset::deepSeek, true},
        {"http://[::1]:11434/v1", "llama3", Preset::ollama, true},
        {"https://example.invalid/v1", "gpt-4.1-mini", Preset::custom, true},
        {"", "", Preset::custom, true},
    };
    for (const Case& c : cases) {
        const AISettingsDraft draft(AIConfiguration{c.base, c.model});
        SCOPED_TRACE(c.base.toStdString());
        EXPECT_EQ(draft.service, AIServicePreset(c.service));
        EXPECT_EQ(draft.usesCustomModel, c.custom);
        EXPECT_EQ(draft.configuration.model, c.model); // never rewritten
        EXPECT_TRUE(draft.apiKey.isEmpty());
    }
}

TEST(AISettingsDraft, PickingPresets) {
    AISettingsDraft draft(AIConfiguration{"https://api.openai.com/v1", "my-model"});
    draft.apiKey = "typed";
    draft.selectService(Preset::openAI); // the same preset with its own address
    EXPECT_EQ(draft.apiKey, "typed");
    EXPECT_EQ(draft.configuration.model, "gpt-5.6-luna");
    EXPECT_FALSE(draft.usesCustomModel);

    draft.selectService(Preset::custom);
    EXPECT_EQ(draft.service, AIServicePreset(Preset::custom));
    EXPECT_EQ(draft.configuration, (AIConfiguration{"https://api.openai.com/v1", "gpt-5.6-luna"}));
    EXPECT_EQ(draft.apiKey, "typed");
    EXPECT_TRUE(draft.usesCustomModel);

    draft.selectService(Preset::aliyunSingapore);
    EXPECT_TRUE(draft.apiKey.isEmpty());
    EXPECT_EQ(draft.configuration.baseURL, AIServicePreset(Preset::aliyunSingapore).baseURL());
    EXPECT_EQ(draft.configuration.model, "qwen3.8-flash");

    draft.apiKey = "again";
    draft.selectService(Preset::ollama);
    EXPECT_TRUE(draft.apiKey.isEmpty());
    EXPECT_EQ(draft.configuration.model, "");
    EXPECT_TRUE(draft.usesCustomModel);
}

TEST(AISettingsDraft, EditingTheAddress) {
    AISettingsDraft draft(AIConfiguration{"https://api.deepseek.com", "deepseek-v4-flash"});
    draft.apiKey = "typed";
    draft.editBaseURL("https://api.deepseek.com");
    EXPECT_EQ(draft.apiKey, "typed");
    draft.editBaseURL("https://api.deepseek.com/");
    EXPECT_TRUE(draft.apiKey.isEmpty());
    EXPECT_EQ(draft.service, AIServicePreset(Preset::deepSeek));
    EXPECT_FALSE(draft.usesCustomModel);
    EXPECT_EQ(draft.configuration.baseURL, "https://api.deepseek.com/");

    draft.editBaseURL(" https://ws9.ap-southeast-1.maas.aliyuncs.com/compatible-mode/v1");
    EXPECT_EQ(draft.service, AIServicePreset(Preset::aliyunSingapore));
    EXPECT_TRUE(draft.usesCustomModel); // deepseek model is not on the Bailian list
    EXPECT_EQ(draft.configuration.model, "deepseek-v4-flash");

    draft.editBaseURL("http://example.invalid");
    EXPECT_EQ(draft.service, AIServicePreset(Preset::custom));
}
