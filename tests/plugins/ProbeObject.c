/* A plug-in object library for the engine's tests. It counts the engine's calls and checks, on
 * every command, that the name buffer and the block it gets are what the engine promises: every
 * byte read (under AddressSanitizer a shorter buffer is a fault), the name and each text
 * zero-terminated within its 256 bytes with nothing but zeros after the terminator, and no integer
 * without its text. A block left over from an earlier call fails that check.
 *
 * Its words:
 *   \echo    answers 2 with the block as it came: the arguments come back as results
 *   \name... (any word that begins so) answers 2 with the word it got in text 0 and its length
 *            in integer 0
 *   \fill    fills the whole block with 'x' and answers 2: every text without a terminator
 *   \keep    fills the whole block with 'x' and answers 1: the engine must not read it
 *   anything else is not its word (0)
 *
 * Built twice: as ProbeObject.so, and with PROBE_WITHOUT_TIME_MOVE as a library that lacks
 * "ObjectTimeMove", which the engine must refuse although it never calls it. */
#include <string.h>
#include <strings.h>

#include "kel_plugin.h"

enum { EvInitialize, EvFinalize, EvCreate, EvDestroy, EvInit, EvOperate, EvClean, EvCount };

static int32_t Counts[EvCount];
static char LastName[KEL_PLUGIN_NAME_SIZE + 1];
static int32_t LastHandle;

/* For the tests, which open the library again to read them. */
KEL_PLUGIN_EXPORT const int32_t* ProbeCounts(void);
KEL_PLUGIN_EXPORT const char* ProbeLastName(void);

const int32_t* ProbeCounts(void) {
    return Counts;
}

const char* ProbeLastName(void) {
    return LastName;
}

/* Reads all 256 bytes of a field: a terminator within them and only zeros after it. */
static int FieldClean(const char* field) {
    int terminated = 0;
    for (size_t i = 0; i < KEL_PLUGIN_STRING_SIZE; ++i) {
        if (field[i] == 0)
            terminated = 1;
        else if (terminated)
            return 0;
    }
    return terminated;
}

static int BlockClean(const char* name, const KelPluginBlock* block) {
    int clean = FieldClean(name);
    for (int i = 0; i < KEL_PLUGIN_SLOTS; ++i) {
        if (!FieldClean(block->Strings[i])) clean = 0;
        if (block->Strings[i][0] == 0 && block->Ints[i] != 0) clean = 0;
    }
    return clean;
}

static int IsWord(const char* name, const char* word) {
    if (*name == '\\') ++name;
    return strcasecmp(name, word) == 0;
}

void _DLLInitialize(void) {
    ++Counts[EvInitialize];
}

void _DLLFinalize(void) {
    ++Counts[EvFinalize];
}

int32_t ObjectCreate(void) {
    ++Counts[EvCreate];
    return ++LastHandle;
}

void ObjectDestroy(int32_t handle) {
    (void)handle;
    ++Counts[EvDestroy];
}

void ObjectInit(int32_t handle) {
    (void)handle;
    ++Counts[EvInit];
}

#ifndef PROBE_WITHOUT_TIME_MOVE
void ObjectTimeMove(int32_t handle, int32_t ms) {
    (void)handle;
    (void)ms;
}
#endif

int32_t ObjectOP(int32_t handle, const char* name, KelPluginBlock* block) {
    (void)handle;
    ++Counts[EvOperate];
    if (BlockClean(name, block)) ++Counts[EvClean];
    memcpy(LastName, name, KEL_PLUGIN_NAME_SIZE);
    if (IsWord(name, "echo")) return KEL_OP_RESULTS;
    if (strncasecmp(name, "\\name", 5) == 0) {
        memset(block, 0, sizeof *block);
        block->Ints[0] = (int32_t)strnlen(name, KEL_PLUGIN_NAME_SIZE);
        memcpy(block->Strings[0], name, KEL_PLUGIN_NAME_SIZE);
        return KEL_OP_RESULTS;
    }
    if (IsWord(name, "fill") || IsWord(name, "keep")) {
        memset(block, 'x', sizeof *block);
        return IsWord(name, "fill") ? KEL_OP_RESULTS : KEL_OP_HANDLED;
    }
    return KEL_OP_UNHANDLED;
}
