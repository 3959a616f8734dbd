#pragma once

#include "platform/codesign/CodeSignature.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace lunorvale {

// Validates an application bundle's code signature on disk, strictly: the main executable named by
// Contents/Info.plist (every slice signed and intact, Info.plist and the resource seal bound by its
// special slots), then the resource seal Contents/_CodeSignature/CodeResources: every file, link and
// nested code below Contents must be listed there and match (file hashes, link targets, nested code's
// unique identifier, itself validated the same way), except what the seal's rules omit; every listed
// item that is not optional must exist. Links are never followed.
//
// "notSigned" means there is no signed Mach-O code to speak of: no readable Info.plist naming an
// executable, an executable that is no regular file, or one that is not signed Mach-O.
//
// Every step is bounded: the entries, the time and the rules' steps of a Budget, the steps of each rule's
// match, and each sealed file is hashed only while it is the file the walk saw, never past the size it
// had then.
namespace BundleSignature {

constexpr int maximumEntries = 250000;
constexpr int maximumNesting = 8;
// A seal's rules are regular expressions from the bundle itself. Real seals hold a dozen or two, and
// each matches a path of 4000 characters within a few thousand steps of the engine; more rules, a rule
// that sets its own engine limits, or a match that needs more steps than this (nested quantifiers
// backtrack for hours) refuses the bundle as rulesTooComplex.
constexpr int maximumRules = 1024;
constexpr int ruleMatchSteps = 20000;
// Rules that each stay within their steps can still add up: a thousand of them tried on each of a few
// hundred unsealed files would take minutes. One check (its nested code and login items included) may
// spend this many steps on rules, each match counted at the most it may take, and refuses the bundle as
// rulesTooComplex past them. A real seal has a dozen or two rules and leaves few files unsealed; ten
// thousand matches at their limit take seconds, not minutes.
constexpr int64_t maximumRuleSteps = int64_t(10000) * ruleMatchSteps;

struct Limits {
    int entries = maximumEntries;   // files, links and folders looked at, nested code included
    double seconds = 120.0;         // on the monotonic clock; the check reads every sealed byte
    std::function<double()> uptime; // the monotonic clock in seconds; the system's when empty
    int64_t ruleSteps = maximumRuleSteps;
};

// What the signature check of one bundle may spend, its login items included: the deadline starts with
// the budget. Ran out: the check ends as overBudget.
class Budget final {
public:
    explicit Budget(const Limits& limits = {});
    bool timeLeft() const { return m_uptime() < m_deadline; }
    // Counts one more entry; false once more entries than the limit were counted.
    bool takeEntry() { return ++m_entries <= m_entryLimit; }
    int entryLimit() const { return m_entryLimit; }
    // Counts one more match of a seal's rule at the steps it may take; false once that is more than
    // the rules' limit.
    bool takeRuleMatch() { return (m_ruleSteps += ruleMatchSteps) <= m_ruleStepLimit; }

private:
    std::function<double()> m_uptime;
    double m_deadline;
    int m_entryLimit;
    int m_entries = 0;
    int64_t m_ruleStepLimit;
    int64_t m_ruleSteps = 0;
};

// `checkpoint` runs before each file and between chunks of large ones; it may throw to stop the check,
// and whatever it throws passes through. Without a budget the check gets one of the default limits.
CodeSignatureCheck check(const QString& bundlePath, const std::function<void()>& checkpoint = {},
                         Budget* budget = nullptr);

} // namespace BundleSignature
} // namespace lunorvale
