#include "foundation/Array.h"
#include "foundation/HashTable.h"
#include "foundation/SprintfFormat.h"
#include "foundation/String.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void BM_ArrayAppendUnsigned(benchmark::State& state) {
    const auto count = static_cast<unsigned int>(state.range(0));
    for (auto _ : state) {
        qel::Array<unsigned int> array;
        for (unsigned int i = 0; i < count; ++i) {
            array.append(i);
        }
        benchmark::DoNotOptimize(array.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ArrayAppendUnsigned)->Arg(8)->Arg(64)->Arg(4096);

void BM_ArrayAppendString(benchmark::State& state) {
    const auto count = static_cast<unsigned int>(state.range(0));
    const qel::String text("\\\\?\\scsi#disk&ven_ata&prod_st3500418as#4&1");
    for (auto _ : state) {
        qel::Array<qel::String> array;
        for (unsigned int i = 0; i < count; ++i) {
            array.append(text);
        }
        benchmark::DoNotOptimize(array.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ArrayAppendString)->Arg(8)->Arg(256);

void BM_HashTableLookupUnsigned(benchmark::State& state) {
    const auto count = static_cast<unsigned int>(state.range(0));
    qel::HashTable<unsigned int, qel::Array<unsigned int>> table;
    for (unsigned int key = 0; key < count; ++key) {
        table.insert(key, qel::Array<unsigned int>());
    }
    unsigned int key = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.lookup(key));
        key = (key + 7) % (count * 2); // half of the lookups miss
    }
}
BENCHMARK(BM_HashTableLookupUnsigned)->Arg(4)->Arg(32)->Arg(1024);

void BM_HashTableLookupString(benchmark::State& state) {
    const auto count = static_cast<unsigned int>(state.range(0));
    qel::HashTable<qel::String, qel::String> table;
    std::vector<qel::String> keys;
    for (unsigned int i = 0; i < count; ++i) {
        keys.emplace_back(("SCSI\\DISK&VEN_ATA&PROD_DISK\\4&" + std::to_string(i)).c_str());
        table.insert(keys.back(), "\\\\?\\scsi#disk");
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.lookup(keys[next]));
        next = (next + 1) % keys.size();
    }
}
BENCHMARK(BM_HashTableLookupString)->Arg(4)->Arg(64);

void BM_SprintfFormat(benchmark::State& state) {
    unsigned int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qel::SprintfFormat("%04X-%04X", value >> 16, value & 0xFFFF));
        benchmark::DoNotOptimize(qel::SprintfFormat("Core %u", value & 63));
        benchmark::DoNotOptimize(qel::SprintfFormat("\\\\.\\%c:", char('C' + (value & 7))));
        ++value;
    }
}
BENCHMARK(BM_SprintfFormat);

void BM_SprintfFormatReal(benchmark::State& state) {
    double value = 2400.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qel::SprintfFormat("%.2f", value));
        value += 0.25;
    }
}
BENCHMARK(BM_SprintfFormatReal);

} // namespace
