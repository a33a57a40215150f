/* Marks the functions and data that libvexao105.so exports.
 *
 * The library is built with hidden visibility, so exactly the names declared
 * with VEXAO_API are visible to the host; they keep their C names. The public
 * headers are plain C and can be included from C or C++ hosts. */
#ifndef VEXAO_TOOLBOX_EXPORT_H
#define VEXAO_TOOLBOX_EXPORT_H

#ifdef __cplusplus
#define VEXAO_EXTERN_C extern "C"
#define VEXAO_NOEXCEPT noexcept
#define VEXAO_STATIC_CHECK(condition, message) static_assert(condition, message)
#else
#define VEXAO_EXTERN_C extern
#define VEXAO_NOEXCEPT
#define VEXAO_STATIC_CHECK(condition, message) _Static_assert(condition, message)
#endif

/* Records that cross the boundary have the layout of 32-bit hosts in the
 * i386 build, which is the one those hosts load, and VEXAO_LAYOUT_CHECK holds
 * it there. The 64-bit builds serve the project's own tools and packages, not
 * 32-bit hosts: their records take the natural layout, and the checks pass
 * over them. */
#if defined(__i386__)
#define VEXAO_LAYOUT_CHECK(condition, message) VEXAO_STATIC_CHECK(condition, message)
#else
#define VEXAO_LAYOUT_CHECK(condition, message) VEXAO_STATIC_CHECK(1, message)
#endif

#define VEXAO_API VEXAO_EXTERN_C __attribute__((visibility("default")))

#endif
