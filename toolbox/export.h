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
#define VEXAO_LAYOUT_CHECK(condition, message) static_assert(condition, message)
#else
#define VEXAO_EXTERN_C extern
#define VEXAO_NOEXCEPT
#define VEXAO_LAYOUT_CHECK(condition, message) _Static_assert(condition, message)
#endif

#define VEXAO_API VEXAO_EXTERN_C __attribute__((visibility("default")))

#endif
