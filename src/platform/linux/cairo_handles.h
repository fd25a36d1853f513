#pragma once
// Owners of the Cairo and fontconfig objects the Linux surface creates: one owning
// template, one alias per kind of object.

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <memory>

namespace tavisto::platform {

template <typename Object, void (*Release)(Object*)>
struct ReleaseWith {
    void operator()(Object* object) const noexcept { Release(object); }
};

template <typename Object, void (*Release)(Object*)>
using Owner = std::unique_ptr<Object, ReleaseWith<Object, Release>>;

using CairoSurfaceOwner = Owner<cairo_surface_t, cairo_surface_destroy>;
using CairoContextOwner = Owner<cairo_t, cairo_destroy>;
using CairoFontFaceOwner = Owner<cairo_font_face_t, cairo_font_face_destroy>;
using FontPatternOwner = Owner<FcPattern, FcPatternDestroy>;

}  // namespace tavisto::platform
