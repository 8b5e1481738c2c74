// RapidJSON as the program includes it: without std::string, on the framework's allocation policy, failing closed.
#pragma once

#include <stddef.h>

// Read by RapidJSON's headers, so set before them.
#define RAPIDJSON_HAS_STDSTRING 0
// RapidJSON checks only its own invariants with this, never the text it reads: a fault in the text
// comes back as a parse error. An invariant that breaks is a fault of ours, and the run ends there
// with 1 rather than going on out of bounds, as it would with the assert that release builds empty.
#define RAPIDJSON_ASSERT(x) ((x) ? static_cast<void>(0) : JsonInvariantBroken())
[[noreturn]] void JsonInvariantBroken();

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

// The C run-time's heap for RapidJSON's stacks and buffers, ending the program when memory runs
// out, as the framework's own allocations do: RapidJSON would go on with a null pointer.
class CJsonAllocator
{
public:
    static const bool kNeedFree = true;
    void* Malloc(size_t cb);
    void* Realloc(void* pOld, size_t cbOld, size_t cbNew);
    static void Free(void* p);
};

typedef rapidjson::GenericStringBuffer<rapidjson::UTF8<>, CJsonAllocator> CJsonBuffer;
typedef rapidjson::Writer<CJsonBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, CJsonAllocator> CJsonTextWriter;
typedef rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, CJsonAllocator> CJsonReader;
