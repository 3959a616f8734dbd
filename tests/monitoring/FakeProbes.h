#pragma once

#include "core/monitoring/ProcessProbes.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// A scripted kernel for the collector and the controller: plain functions over one global state,
// since the probes are function pointers.
struct FakeKernel {
    struct Process {
        LVProcessRecord record{};
        std::string path;
        std::string args;
    };
    static inline std::vector<Process> processes;
    static inline int collectResult = 0; // 0: store the processes; otherwise returned as is
    static inline uint32_t skipped = 0;
    static inline double uptime = 100;
    static inline bool ticksReadable = true;
    static inline uint64_t busy = 0, total = 0;
    static inline int memoryResult = 0;
    static inline LVSystemMemory memory{};
    static inline int signalResult = 0;
    static inline int lastSignal = 0;
    static inline int pathReads = 0, argsReads = 0;

    static void reset() {
        processes.clear();
        collectResult = 0;
        skipped = 0;
        uptime = 100;
        ticksReadable = true;
        busy = total = 0;
        memoryResult = 0;
        memory = {};
        signalResult = 0;
        lastSignal = 0;
        pathReads = argsReads = 0;
    }

    static Process& add(int32_t pid, uint64_t start, uint64_t cpuNs, const char* name, std::string path = {},
                        std::string args = {}) {
        Process p;
        p.record.pid = pid;
        p.record.ppid = 1;
        p.record.uid = 1000;
        p.record.start_us = start;
        p.record.cpu_ns = cpuNs;
        p.record.resident_bytes = 4096;
        std::strncpy(p.record.name, name, sizeof p.record.name - 1);
        p.path = std::move(path);
        p.args = std::move(args);
        processes.push_back(p);
        return processes.back();
    }
    static Process* find(int32_t pid) {
        for (auto& p : processes)
            if (p.record.pid == pid)
                return &p;
        return nullptr;
    }

    static lunorvale::ProcessProbes probes() {
        lunorvale::ProcessProbes probes;
        probes.collect = [](LVProcessRecord* records, int32_t capacity, uint32_t* skippedOut) -> int {
            *skippedOut = skipped;
            if (collectResult != 0)
                return collectResult;
            int stored = 0;
            for (const auto& p : processes) {
                if (stored == capacity) {
                    ++*skippedOut;
                    continue;
                }
                records[stored++] = p.record;
            }
            return stored;
        };
        probes.readProcess = [](int32_t pid, LVProcessRecord* out) -> int {
            const Process* p = find(pid);
            if (!p)
                return 0;
            *out = p->record;
            return 1;
        };
        probes.processPath = [](int32_t pid, char* buffer, uint32_t size) -> int {
            ++pathReads;
            buffer[0] = '\0';
            const Process* p = find(pid);
            if (!p || p->path.empty())
                return 0;
            std::strncpy(buffer, p->path.c_str(), size - 1);
            return static_cast<int>(std::strlen(buffer));
        };
        probes.processArgs = [](int32_t pid, char* buffer, uint64_t size) -> uint64_t {
            ++argsReads;
            buffer[0] = '\0';
            const Process* p = find(pid);
            if (!p)
                return 0;
            std::strncpy(buffer, p->args.c_str(), size - 1);
            return std::strlen(buffer);
        };
        probes.cpuTicks = [](uint64_t* b, uint64_t* t) -> int {
            if (!ticksReadable)
                return 0;
            *b = busy;
            *t = total;
            return 1;
        };
        probes.systemMemory = [](LVSystemMemory* out) -> int {
            *out = memory;
            return memoryResult;
        };
        probes.signalChecked = [](int32_t, uint64_t, uint32_t, int32_t signal) -> int {
            lastSignal = signal;
            return signalResult;
        };
        probes.uptime = []() {
            return uptime;
        };
        return probes;
    }
};
