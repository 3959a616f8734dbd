#include "SignedBundle.h"
#include "platform/codesign/BundleSignature.h"

#include <QScopeGuard>

using namespace lunorvale;
using fixture::CodeSpec;
using fixture::SliceSpec;
using Status = CodeSignatureCheck::Status;

namespace {

CodeSignatureCheck checkBytes(const QByteArray& bytes, const CodeSignature::SealedFiles& sealed = {}) {
    return CodeSignature::check(MemoryByteSource(bytes), sealed);
}

QByteArray flipped(QByteArray bytes, qsizetype at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

} // namespace

TEST(CodeSignature, EveryLayoutValidatesAndNoHashedByteCanChange) {
    const fixture::SigningIdentity identity;
    const SliceSpec big64(true), big32(true, false), little32(false, false);
    CodeSpec swapped({little32, SliceSpec()});
    swapped.swappedUniversalHeader = true;
    const struct {
        const char* name;
        CodeSpec spec;
    } rows[] = {
        {"thin little-endian 64", CodeSpec()},
        {"thin big-endian 64", CodeSpec({big64})},
        {"thin little-endian 32", CodeSpec({little32})},
        {"thin big-endian 32", CodeSpec({big32})},
        {"universal", CodeSpec({SliceSpec(), big32})},
        {"universal, swapped table", swapped},
        {"certificate", CodeSpec({SliceSpec()}, &identity)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fixture::SignedCode code = fixture::machO(row.spec, QByteArray("info"));
        const CodeSignatureCheck check = checkBytes(code.bytes, {QByteArray("info"), {}});
        EXPECT_EQ(check.status, Status::valid);
        EXPECT_EQ(check.uniqueIdentifier, code.uniqueIdentifier);
        EXPECT_EQ(check.rootFingerprints,
                  row.spec.identity ? QList<QByteArray>{identity.rootFingerprint()} : QList<QByteArray>{});
        // A changed magic reads as no Mach-O at all: refused as well, only with another sentence.
        for (const auto& [offset, length] : code.hashedRanges)
            for (const qsizetype at : {offset, offset + 20, offset + length / 2, offset + length - 1})
                EXPECT_NE(checkBytes(flipped(code.bytes, at), {QByteArray("info"), {}}).status, Status::valid)
                    << at;
    }
}

TEST(CodeSignature, UnsignedPartlySignedAndDamagedCode) {
    const fixture::SigningIdentity identity;
    const QByteArray thin = fixture::machO(CodeSpec()).bytes;
    const QByteArray certified = fixture::machO(CodeSpec({SliceSpec()}, &identity)).bytes;
    const qsizetype cms = certified.indexOf(QByteArray::fromHex("fade0b01"));
    const SliceSpec bare(false, true, false); // unsigned
    const struct {
        const char* name;
        QByteArray bytes;
        CodeSignature::SealedFiles sealed;
        Status expected;
    } rows[] = {
        {"ELF", QByteArray::fromHex("7f454c46020101") + QByteArray(100, '\0'), {}, Status::notSigned},
        {"no slice signed", fixture::machO(CodeSpec({bare, bare})).bytes, {}, Status::notSigned},
        {"one slice unsigned", fixture::machO(CodeSpec({SliceSpec(), bare})).bytes, {}, Status::invalid},
        {"truncated", thin.left(thin.size() - 100), {}, Status::invalid},
        {"Info.plist not sealed", thin, {QByteArray("info"), {}}, Status::invalid},
        {"resource seal not sealed", thin, {{}, QByteArray("seal")}, Status::invalid},
        {"CMS signature changed", flipped(certified, cms + 200), {}, Status::invalid},
        {"CodeDirectory under CMS",
         flipped(certified, certified.indexOf("com.example")),
         {},
         Status::invalid},
    };
    for (const auto& row : rows)
        EXPECT_EQ(checkBytes(row.bytes, row.sealed).status, row.expected) << row.name;
}

TEST(CodeSignature, NativeExecutablesAreMachOWithAnExecuteBit) {
    fixture::Root root;
    const auto write = [&](const QString& name, const QByteArray& bytes, bool executable) {
        fixture::writeFile(root.path + u'/' + name, bytes);
        QFile::setPermissions(root.path + u'/' + name,
                              executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
        return root.path + u'/' + name;
    };
    const QString machO = write("machO", fixture::machO(CodeSpec()).bytes, true);
    QFile::link(machO, root.path + "/link");
    const struct {
        QString path;
        bool native;
    } rows[] = {
        {machO, true},
        {write("universal", QByteArray::fromHex("cafebabe00000001"), true), true},
        {write("script", "#!/bin/sh\n", true), false},
        {write("plain", fixture::machO(CodeSpec()).bytes, false), false},
        {write("short", QByteArray::fromHex("cafeba"), true), false},
        {root.path + "/link", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MachO::isNativeExecutable(row.path), row.native) << row.path.toStdString();
}

TEST(CodeSignature, BundleRefusalsNameTheirCause) {
    const fixture::SigningIdentity identity;
    const QString incomplete = "应用签名不完整或无法验证，未开放移除操作。请使用文件管理器或官方卸载方式。";
    using Change = std::function<void(const QString& contents)>;
    const struct {
        const char* name;
        CodeSpec spec;
        Change change;
        QString reason; // "pass": the digest starts with the bundle's identifier
        Change beforeSigning = {};
    } rows[] = {
        {"intact", {}, [](const QString&) {}, "pass"},
        {"an omitted .DS_Store",
         {},
         [](const QString& c) { fixture::writeFile(c + "/.DS_Store", "x"); },
         "pass"},
        {"a code page",
         {},
         [](const QString& c) { fixture::flipByte(c + "/MacOS/Sample", 3000); },
         incomplete},
        {"Info.plist",
         {},
         [](const QString& c) {
             fixture::writeFile(c + "/Info.plist", fixture::encode(fixture::appInfo("com.example.other")));
         },
         incomplete},
        {"a sealed resource",
         {},
         [](const QString& c) { fixture::flipByte(c + "/Resources/readme.txt", 0); },
         incomplete},
        {"an unsealed file",
         {},
         [](const QString& c) { fixture::writeFile(c + "/Resources/extra", "x"); },
         incomplete},
        {"a file whose name is no UTF-8 beside the sealed one it reads as",
         {},
         [](const QString& c) { fixture::writeByteNamed(c + "/Resources", "x\xFF", "sealed"); },
         incomplete,
         [](const QString& c) {
             fixture::writeFile(c + "/Resources/x\uFFFD", "sealed");
         }},
        {"a link whose target is no UTF-8 where the seal has the one it reads as",
         {},
         [](const QString& c) {
             const QByteArray link = QFile::encodeName(c + "/Resources/link");
             ASSERT_EQ(::unlink(link.constData()), 0);
             ASSERT_EQ(::symlink("x\xFF", link.constData()), 0);
         },
         incomplete,
         [](const QString& c) {
             ASSERT_TRUE(QFile::link("x\uFFFD", c + "/Resources/link"));
         }},
        {"a missing resource",
         {},
         [](const QString& c) { QFile::remove(c + "/Resources/readme.txt"); },
         incomplete},
        {"nested code",
         {},
         [](const QString& c) {
             fixture::flipByte(c + "/Library/LoginItems/Helper.app/Contents/MacOS/Helper", 100);
         },
         incomplete},
        {"no Mach-O",
         {},
         [](const QString& c) { fixture::writeFile(c + "/MacOS/Sample", "#!/bin/sh\n"); },
         "无法读取应用签名，请使用原安装方式管理。"},
        {"the vendor's root", CodeSpec({SliceSpec()}, &identity), [](const QString&) {},
         "Apple 签名的应用受保护，请使用系统或官方提供的管理方式。"},
        {"system extensions",
         CodeSpec(
             {SliceSpec()}, nullptr,
             "<plist><dict><key>com.apple.developer.system-extension.install</key><true/></dict></plist>"),
         [](const QString&) {}, "应用可以安装系统扩展。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fixture::SignedApp app(row.spec, "Sample.app", [&row](const QString& path) {
            fixture::makeBundle(path + "/Contents/Library/LoginItems", "Helper.app",
                                fixture::appInfo("com.example.helper", "Helper"));
            if (row.beforeSigning)
                row.beforeSigning(path + "/Contents");
        });
        const auto removeByBytes = qScopeGuard([&app] { fixture::removeByBytes(app.root.path); });
        row.change(app.path + "/Contents");
        QByteArray digest;
        EXPECT_EQ(fixture::reasonOf([&] {
                      digest = ApplicationRemovalService::validateSignature(app.url(),
                                                                            identity.rootFingerprint(), {});
                  }).first,
                  row.reason);
        EXPECT_EQ(row.reason == u"pass", digest.startsWith(app.unique + '\0' + "Helper.app" + '\0'));
    }
}

// Whatever a bundle holds, its check ends within its budgets: rules from the bundle's own seal that
// backtrack for ever, try to lift the engine's limits, or each stay within their steps but together ask
// for more matching than any seal needs refuse it for its rules; more entries or more time than the
// budget refuse it as too much to check.
TEST(CodeSignature, EveryBundleIsCheckedWithinItsBudgets) {
    const QString rules =
        "应用签名的资源规则过于复杂，无法核对，未开放移除操作。请使用文件管理器或官方卸载方式。";
    const QString tooMuch = "应用内容较多，本次检查未完成。请重新检查，或在文件管理器中使用厂商的管理方式。";
    const auto omitting = [](const QString& pattern) {
        return "<key>" + pattern +
               "</key><dict><key>omit</key><true/><key>weight</key><real>3000</real></dict>";
    };
    QString manyRules;
    for (int index = 0; index <= BundleSignature::maximumRules; ++index)
        manyRules += "<key>^never" + QString::number(index) + "$</key><true/>";
    // A thousand quick rules that outweigh the one omitting the unsealed files, so each file is tried
    // against all of them.
    QString outweighing =
        "<key>^Resources/</key><dict><key>omit</key><true/><key>weight</key><real>2500</real></dict>";
    for (int index = 0; index < 1000; ++index)
        outweighing +=
            "<key>^never" + QString::number(index) + "$</key><dict><key>weight</key><real>3000</real></dict>";
    double now = 0;
    const BundleSignature::Limits slowClock{BundleSignature::maximumEntries, 1.0, [&now] {
                                                return now += 0.25;
                                            }};
    const BundleSignature::Limits fewEntries{3, 120.0, {}};
    const BundleSignature::Limits usual;
    // The rows point at their limits: GCC 12 at -O3 takes a std::function copied into each row of such
    // a table for one it may read uninitialised.
    const struct {
        const char* name;
        QString rules; // added to the seal's
        int unsealed;  // files added after signing, which the rules must omit
        const BundleSignature::Limits* limits;
        QString reason;
    } rows[] = {
        {"within every budget", {}, 0, &usual, "pass"},
        {"a rule that backtracks for ever", omitting("(a+)+$"), 1, &usual, rules},
        {"a rule that lifts the engine's limits", omitting("(*LIMIT_MATCH=100000000)(a+)+$"), 1, &usual,
         rules},
        {"more rules than any seal holds", manyRules, 1, &usual, rules},
        {"a thousand quick rules over a few unsealed files", outweighing, 3, &usual, "pass"},
        {"a thousand quick rules over a dozen unsealed files", outweighing, 12, &usual, rules},
        {"more entries than the budget", {}, 0, &fewEntries, tooMuch},
        {"more time than the budget", {}, 0, &slowClock, tooMuch},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CodeSpec spec;
        spec.extraRules = row.rules;
        const fixture::SignedApp app(spec);
        // Unsealed, so the rules decide whether they may be there. Without a limit of its own the engine
        // would spend some hundred thousand steps on such a name, and give up only on longer ones.
        for (int index = 0; index < row.unsealed; ++index)
            fixture::writeFile(app.path + "/Contents/Resources/" + QString(18, u'a') + "!" +
                                   (index > 0 ? QString::number(index) : QString()),
                               "x");
        EXPECT_EQ(fixture::reasonOf([&] {
                      ApplicationRemovalService::validateSignature(
                          app.url(), ApplicationRemovalService::vendorRootFingerprint(), {}, *row.limits);
                  }).first,
                  row.reason);
    }
}

// A sealed file that some process keeps writing is hashed only up to the size the walk saw, and then
// refused: the check never reads after it.
TEST(CodeSignature, ASealedFileThatKeepsGrowingIsRefusedNotReadForEver) {
    const fixture::SignedApp app({}, "Sample.app", [](const QString& path) {
        fixture::writeFile(path + "/Contents/Resources/log.bin", QByteArray(2 << 20, 'x'));
    });
    QFile log(app.path + "/Contents/Resources/log.bin");
    ASSERT_TRUE(log.open(QIODevice::Append));
    int calls = 0;
    const auto grow = [&] {
        if (++calls > 64)
            throw std::runtime_error("the check kept reading a file that keeps growing");
        log.write(QByteArray(3 << 19, 'y'));
        log.flush();
    };
    EXPECT_EQ(BundleSignature::check(app.path, grow).status, Status::invalid);
}
