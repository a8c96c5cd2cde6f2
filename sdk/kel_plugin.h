/* The interface between the engine and a plug-in object library, for game makers who write one.
 *
 * A plug-in library is a native shared library (".so") that brings one object type to the
 * scenario scripts. The game's settings ("System\etc\Game.dat") name up to 16 of them:
 *
 *     DLLObject[0]=DLL\Counter.dll,Counter
 *
 * that is, the library's path (relative to the game's folder; a ".dll" name is also looked for
 * under the same name ending in ".so") and the type keyword scripts declare objects with, compared
 * without regard to ASCII case. A type name equal to a built-in keyword ("img", "list", ...) or
 * to an earlier library's type name takes its place.
 *
 * The engine loads the libraries when it starts. A configured path without a file is skipped; a
 * file that cannot be loaded, or that lacks one of the seven exports below, stops the start with a
 * message naming the file and the loader's reason, or the missing export.
 *
 * Every export has C linkage and the platform's C calling convention. In the order the engine
 * binds them:
 *
 *   _DLLInitialize()            once, right after the library is bound
 *   _DLLFinalize()              once, before the library is unloaded when the game ends
 *   ObjectCreate()              a script declared an object of the type; returns the handle the
 *                               engine passes back for this object (any 32-bit value the library
 *                               chooses: a 64-bit pointer does not fit, keep a table)
 *   ObjectDestroy(handle)       the script object was freed
 *   ObjectInit(handle)          the script object was reset: back to the state ObjectCreate
 *                               gives (a reset of the whole game frees its objects instead)
 *   ObjectTimeMove(handle, ms)  bound but never called; it may do nothing
 *   ObjectOP(handle, name, block)
 *                               a command on the object, see below
 *
 * A command: a script line \add,5,"text" on an object of the type calls ObjectOP with the
 * command word as the script wrote it ("\add", backslash and case as written) in a 256-byte
 * buffer, zero after the word, and a KelPluginBlock. The block is zero-filled before every call;
 * then argument i (i = 0..7, the i+1-th after the word) that is not empty is evaluated and gives
 * Ints[i] (its integer value; 0 for a text that is not a number) and Strings[i] (its text; for
 * a number, its decimal digits). A word or a text of 256 bytes or more arrives cut to at most 255
 * bytes, never inside a two-byte character. Texts are Shift-JIS.
 *
 * ObjectOP answers:
 *   KEL_OP_UNHANDLED (0)  not a command of this type: the script gets an undefined-command error
 *   KEL_OP_HANDLED   (1)  done; whatever the block holds now is ignored
 *   KEL_OP_RESULTS   (2)  done with results: the engine clears the script's result arrays, then
 *                         writes each non-zero Ints[i] to "ResultInt[i]" and each non-empty
 *                         Strings[i] to "ResultStr[i]". A result text ends at its first zero byte
 *                         or after all 256 bytes.
 *
 * The engine saves nothing of a plug-in object in save games: a loaded game makes the object anew
 * (ObjectCreate). Everything runs on the engine's main thread.
 *
 * Build a library from C or C++ with this header, with position-independent code, e.g.
 *     cc -shared -fPIC -fvisibility=hidden -o Counter.so counter.c
 * (the declarations below give the exports default visibility).
 */
#ifndef KEL_PLUGIN_H
#define KEL_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#define KEL_PLUGIN_NAME_SIZE 256
#define KEL_PLUGIN_SLOTS 8
#define KEL_PLUGIN_STRING_SIZE 256
#define KEL_PLUGIN_BLOCK_SIZE 2080

enum { KEL_OP_UNHANDLED = 0, KEL_OP_HANDLED = 1, KEL_OP_RESULTS = 2 };

/* The parameter block of ObjectOP: 2080 bytes, no padding.
 *   offset  0, 32 bytes:   eight signed 32-bit integers, in the platform's byte order
 *   offset 32, 2048 bytes: eight texts of 256 bytes, each zero-terminated within its 256 bytes on
 *                          entry */
typedef struct KelPluginBlock {
    int32_t Ints[KEL_PLUGIN_SLOTS];
    char Strings[KEL_PLUGIN_SLOTS][KEL_PLUGIN_STRING_SIZE];
} KelPluginBlock;

#ifdef __cplusplus
#define KEL_PLUGIN_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define KEL_PLUGIN_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif
KEL_PLUGIN_STATIC_ASSERT(sizeof(int32_t) == 4, "32-bit integers");
KEL_PLUGIN_STATIC_ASSERT(offsetof(KelPluginBlock, Strings) == 32, "texts follow the eight integers");
KEL_PLUGIN_STATIC_ASSERT(sizeof(KelPluginBlock) == KEL_PLUGIN_BLOCK_SIZE, "the block is 2080 bytes");

/* The exports as the engine calls them. */
typedef void (*KelDLLInitializeProc)(void);
typedef void (*KelDLLFinalizeProc)(void);
typedef int32_t (*KelObjectCreateProc)(void);
typedef void (*KelObjectDestroyProc)(int32_t handle);
typedef void (*KelObjectInitProc)(int32_t handle);
typedef void (*KelObjectTimeMoveProc)(int32_t handle, int32_t ms);
typedef int32_t (*KelObjectOPProc)(int32_t handle, const char* name, KelPluginBlock* block);

#define KEL_PLUGIN_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

KEL_PLUGIN_EXPORT void _DLLInitialize(void);
KEL_PLUGIN_EXPORT void _DLLFinalize(void);
KEL_PLUGIN_EXPORT int32_t ObjectCreate(void);
KEL_PLUGIN_EXPORT void ObjectDestroy(int32_t handle);
KEL_PLUGIN_EXPORT void ObjectInit(int32_t handle);
KEL_PLUGIN_EXPORT void ObjectTimeMove(int32_t handle, int32_t ms);
KEL_PLUGIN_EXPORT int32_t ObjectOP(int32_t handle, const char* name, KelPluginBlock* block);

#ifdef __cplusplus
}
#endif

#endif /* KEL_PLUGIN_H */
