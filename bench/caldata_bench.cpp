// Calibration data: import of a full-size file (1000 rows x 20 columns) from the kept copy, and
// filling the mapping data window with that table. Run with --benchmark_repetitions for medians.
#include "benchmain.h"

#include "caldata/caldataimport.h"
#include "caldata/calfiles.h"
#include "console/formcaldata.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct FullTable {
    FullTable() : table(std::make_unique<TCalData>()) {
        table->Model = calfiles::Model;
        table->Serial = calfiles::Serial;
        // A kept copy in Cal/, so that every import reads and parses without asking.
        calfiles::WriteLines(ProgramFolder() + QStringLiteral("Cal/") + calfiles::CopyName,
                             calfiles::GeneratedLines(TCalData::MaxRows, TCalData::MaxCols));
    }
    QString ProgramFolder() const { return dir.path() + QLatin1Char('/'); }
    QString Import() { return ImportCalData(*table, true, ProgramFolder(), dialog); }

    QTemporaryDir dir;
    calfiles::ScriptedDialog dialog;
    std::unique_ptr<TCalData> table;
};

void BM_ImportFullFile(benchmark::State &state) {
    FullTable full;
    for (auto _ : state) {
        const QString result = full.Import();
        if (!result.isEmpty()) {
            state.SkipWithError(result.toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(full.table->Cells[999][19].Pos3);
    }
}
BENCHMARK(BM_ImportFullFile)->Unit(benchmark::kMillisecond);

void BM_OpenMappingWindowFull(benchmark::State &state) {
    FullTable full;
    if (!full.Import().isEmpty()) {
        state.SkipWithError("import failed");
        return;
    }
    for (auto _ : state) {
        TForm_CalData form(*full.table);
        benchmark::DoNotOptimize(&form);
    }
}
BENCHMARK(BM_OpenMappingWindowFull)->Unit(benchmark::kMillisecond);

void BM_RefreshMappingWindowFull(benchmark::State &state) {
    FullTable full;
    if (!full.Import().isEmpty()) {
        state.SkipWithError("import failed");
        return;
    }
    TForm_CalData form(*full.table);
    for (auto _ : state) {
        form.Action_ClearCalData();
        form.Action_RefreshCalData();
    }
}
BENCHMARK(BM_RefreshMappingWindowFull)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
