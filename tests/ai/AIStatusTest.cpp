#include "app/advice/AIStatus.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using State = AIStatus::State;
using Key = AIKeyStatus;

TEST(AIStatus, StateAndLabels) {
    const QString model200(200, QLatin1Char('m'));
    struct Case {
        QString base, model;
        Key key;
        bool automatic;
        State state;
        QString keyLabel, serviceLabel;
    };
    const QList<Case> cases{
        // A service on this machine needs no key, however its host is written.
        {"http://localhost:11434/v1", "llama3", Key::missing, false, State::manual, "本机服务可不填",
         "Ollama · 本机 · llama3"},
        {"http://LOCALHOST:11434/v1", "llama3", Key::missing, false, State::manual, "本机服务可不填",
         "Ollama · 本机 · llama3"},
        {"http://[::1]:8080/v1", "qwen", Key::missing, true, State::automatic, "本机服务可不填",
         "自定义 · qwen"},
        // Nor does a key store that cannot be read (no Secret Service) make it unusable.
        {"http://127.0.0.1:11434/v1", "llama3", Key::unavailable, false, State::manual, "本机服务可不填",
         "Ollama · 本机 · llama3"},
        {"http://Localhost:8080/v1", "qwen", Key::unavailable, true, State::automatic, "本机服务可不填",
         "自定义 · qwen"},
        {"http://localhost:8080/v1", "qwen", Key::noKeyring, false, State::manual, "本机服务可不填",
         "自定义 · qwen"},
        {"http://localhost:8080/v1", "qwen", Key::authorizationRequired, true, State::needsAuthorization,
         "等待授权", "自定义 · qwen"},
        {"https://api.deepseek.com", "deepseek-chat", Key::missing, true, State::missingKey, "未保存",
         "DeepSeek · deepseek-chat"},
        // The model name: blank, too long or with a control character is no configuration.
        {"https://api.deepseek.com", " \t\n", Key::saved, true, State::unconfigured, "已保存 · 尚未读取",
         "尚未完成服务配置"},
        {"https://api.deepseek.com", model200 + "m", Key::saved, true, State::unconfigured,
         "已保存 · 尚未读取", "尚未完成服务配置"},
        {"https://api.deepseek.com", "gpt\u0007", Key::available, false, State::unconfigured,
         "已保存 · 本次可用", "尚未完成服务配置"},
        {"https://api.deepseek.com", model200, Key::saved, false, State::manual, "已保存 · 尚未读取",
         "DeepSeek · " + model200},
        // Accepted trimmed, shown as stored.
        {"https://api.openai.com/v1", "  gpt-x ", Key::available, true, State::automatic, "已保存 · 本次可用",
         "OpenAI · GPT ·   gpt-x "},
        // The address is checked before the key.
        {"ftp://example.invalid/v1", "m", Key::authorizationRequired, true, State::unconfigured, "等待授权",
         "尚未完成服务配置"},
        {"http://example.invalid/v1", "m", Key::available, true, State::unconfigured, "已保存 · 本次可用",
         "尚未完成服务配置"},
        {"", "m", Key::missing, false, State::unconfigured, "未保存", "尚未完成服务配置"},
        {"https://example.invalid/v1", "m", Key::authorizationRequired, true, State::needsAuthorization,
         "等待授权", "自定义 · m"},
        {"https://example.invalid/v1", "m", Key::unavailable, false, State::keyUnavailable, "暂时无法读取",
         "自定义 · m"},
        // Without any keyring waiting does not help, and the status says so before a request does.
        {"https://example.invalid/v1", "m", Key::noKeyring, true, State::noKeyring, "没有找到系统密钥环",
         "自定义 · m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.base + " / " + c.model).toStdString());
        for (const bool monitoring : {true, false}) {
            const AIStatus status({c.base, c.model}, c.key, c.automatic, monitoring);
            EXPECT_EQ(status.state, c.state);
            EXPECT_EQ(status.keyLabel(), c.keyLabel);
            EXPECT_EQ(status.serviceLabel(), c.serviceLabel);
            EXPECT_EQ(status.configuration.model, c.model);
        }
    }
    // Equal only when every input is.
    const AIStatus running({"https://api.deepseek.com", "m"}, Key::saved, true, true);
    EXPECT_EQ(running, AIStatus({"https://api.deepseek.com", "m"}, Key::saved, true, true));
    EXPECT_NE(running, AIStatus({"https://api.deepseek.com", "m"}, Key::saved, true, false));
    EXPECT_NE(running, AIStatus({"https://api.deepseek.com", "m"}, Key::available, true, true));
}
