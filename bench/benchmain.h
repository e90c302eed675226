#pragma once
// Entry point for benchmarks of the widget layer: an offscreen application and a
// two-thread work pool around the registered benchmarks.

#include "cmemory.h"
#include "qworkpool.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#define BRISEL_BENCH_MAIN_WITH_POOL()                                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        CMemory::keepFreedMemory(); /* as the program does */                                                \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication app(argc, argv);                                                                        \
        QWorkPool::instance()->start(2);                                                                     \
        benchmark::Initialize(&argc, argv);                                                                  \
        benchmark::RunSpecifiedBenchmarks();                                                                 \
        QWorkPool::instance()->stop();                                                                       \
        return 0;                                                                                            \
    }
