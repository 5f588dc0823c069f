#pragma once

// Clang's thread-safety analysis (-Wthread-safety) proves at compile time that state marked as
// guarded by a mutex is only touched with that mutex held, and that functions asking for a held
// mutex get one. Compilers without the attributes see nothing. Prefixed: the public headers of
// the platform carry these, and a host may define the common unprefixed names itself.

#if defined(__has_attribute)
#if __has_attribute(capability) && __has_attribute(guarded_by)
#define ZELVORA_THREAD_ANNOTATION(attribute) __attribute__((attribute))
#endif
#endif
#ifndef ZELVORA_THREAD_ANNOTATION
#define ZELVORA_THREAD_ANNOTATION(attribute)
#endif

/// A type whose objects are locks (a mutex).
#define ZELVORA_CAPABILITY(name) ZELVORA_THREAD_ANNOTATION(capability(name))
/// A type whose objects hold a lock for their lifetime.
#define ZELVORA_SCOPED_CAPABILITY ZELVORA_THREAD_ANNOTATION(scoped_lockable)
/// A member or variable read and written only with `lock` held.
#define ZELVORA_GUARDED_BY(lock) ZELVORA_THREAD_ANNOTATION(guarded_by(lock))
/// A pointer whose target is read and written only with `lock` held.
#define ZELVORA_PT_GUARDED_BY(lock) ZELVORA_THREAD_ANNOTATION(pt_guarded_by(lock))
/// A function its callers call with these locks held.
#define ZELVORA_REQUIRES(...) ZELVORA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
/// A function that takes these locks itself: its callers must not hold them.
#define ZELVORA_EXCLUDES(...) ZELVORA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
/// A function that returns with these locks held (with none named: the object itself).
#define ZELVORA_ACQUIRE(...) ZELVORA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
/// A function that returns with these locks released (with none named: the object itself).
#define ZELVORA_RELEASE(...) ZELVORA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
/// A function that holds the lock on return when it returns `result`.
#define ZELVORA_TRY_ACQUIRE(...) ZELVORA_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
/// A function that returns only when the lock is held (it aborts otherwise).
#define ZELVORA_ASSERT_CAPABILITY(lock) ZELVORA_THREAD_ANNOTATION(assert_capability(lock))
/// A function that returns a reference to this lock.
#define ZELVORA_RETURN_CAPABILITY(lock) ZELVORA_THREAD_ANNOTATION(lock_returned(lock))
/// A function the analysis leaves out; say why beside it.
#define ZELVORA_NO_THREAD_SAFETY_ANALYSIS ZELVORA_THREAD_ANNOTATION(no_thread_safety_analysis)
