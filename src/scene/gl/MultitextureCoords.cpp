#include "scene/gl/MultitextureCoords.h"

namespace qira {

namespace {

using M = TMultitextureMapping;

struct TLayerState {
  M current = M::mmNoUnit;
  M installed = M::mmNoUnit;  // whose entry points are in xgl (unit 0 may stand in)
  M pending = M::mmNoUnit;
  int updateCount = 0;
  std::vector<GLenum> units;
};

TLayerState& Layer() {
  static TLayerState state;
  return state;
}

// ---- fan-out of one call to the units of a mapping

template <M Mapping, class Plain, class Multi>
void FanCoords(Plain plain, Multi multi) {
  if constexpr (Mapping == M::mmUnit0) {
    plain();
  } else if constexpr (Mapping == M::mmUnit1) {
    multi(GL_TEXTURE1_ARB);
  } else if constexpr (Mapping == M::mmUnits01) {
    plain();
    multi(GL_TEXTURE1_ARB);
  } else if constexpr (Mapping == M::mmUnitList) {
    for (GLenum unit : Layer().units) multi(unit);
  }
}

// `call` once on each unit of the mapping, the unit chosen through `select`;
// unit 0 chosen afterwards.
template <M Mapping, class Select, class Call>
void FanUnits(Select select, Call call) {
  if constexpr (Mapping == M::mmUnit0) {
    call();
  } else if constexpr (Mapping == M::mmUnit1) {
    select(GL_TEXTURE1_ARB);
    call();
    select(GL_TEXTURE0_ARB);
  } else if constexpr (Mapping == M::mmUnits01) {
    call();
    select(GL_TEXTURE1_ARB);
    call();
    select(GL_TEXTURE0_ARB);
  } else if constexpr (Mapping == M::mmUnitList) {
    for (GLenum unit : Layer().units) {
      select(unit);
      call();
    }
    select(GL_TEXTURE0_ARB);
  }
}

// Server-side state (TexGen, Enable, Disable) on each unit.
template <M Mapping, class Call>
void FanServer(Call call) {
  FanUnits<Mapping>([](GLenum unit) { glActiveTextureARB(unit); }, call);
}

// Client-side arrays on each unit.
template <M Mapping, class Call>
void FanClient(Call call) {
  FanUnits<Mapping>([](GLenum unit) { glClientActiveTextureARB(unit); }, call);
}

// ---- the fifteen entry points of each mapping

template <M Mapping>
void TexCoord2f(GLfloat s, GLfloat t) {
  FanCoords<Mapping>([&] { glTexCoord2f(s, t); }, [&](GLenum u) { glMultiTexCoord2fARB(u, s, t); });
}
template <M Mapping>
void TexCoord2fv(const GLfloat* v) {
  FanCoords<Mapping>([&] { glTexCoord2fv(v); }, [&](GLenum u) { glMultiTexCoord2fvARB(u, v); });
}
template <M Mapping>
void TexCoord3f(GLfloat s, GLfloat t, GLfloat r) {
  FanCoords<Mapping>([&] { glTexCoord3f(s, t, r); },
                     [&](GLenum u) { glMultiTexCoord3fARB(u, s, t, r); });
}
template <M Mapping>
void TexCoord3fv(const GLfloat* v) {
  FanCoords<Mapping>([&] { glTexCoord3fv(v); }, [&](GLenum u) { glMultiTexCoord3fvARB(u, v); });
}
template <M Mapping>
void TexCoord4f(GLfloat s, GLfloat t, GLfloat r, GLfloat q) {
  FanCoords<Mapping>([&] { glTexCoord4f(s, t, r, q); },
                     [&](GLenum u) { glMultiTexCoord4fARB(u, s, t, r, q); });
}
template <M Mapping>
void TexCoord4fv(const GLfloat* v) {
  FanCoords<Mapping>([&] { glTexCoord4fv(v); }, [&](GLenum u) { glMultiTexCoord4fvARB(u, v); });
}
template <M Mapping>
void TexGenf(GLenum coord, GLenum name, GLfloat param) {
  FanServer<Mapping>([&] { glTexGenf(coord, name, param); });
}
template <M Mapping>
void TexGenfv(GLenum coord, GLenum name, const GLfloat* params) {
  FanServer<Mapping>([&] { glTexGenfv(coord, name, params); });
}
template <M Mapping>
void TexGeni(GLenum coord, GLenum name, GLint param) {
  FanServer<Mapping>([&] { glTexGeni(coord, name, param); });
}
template <M Mapping>
void TexGeniv(GLenum coord, GLenum name, const GLint* params) {
  FanServer<Mapping>([&] { glTexGeniv(coord, name, params); });
}
template <M Mapping>
void TexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
  FanClient<Mapping>([&] { glTexCoordPointer(size, type, stride, pointer); });
}
template <M Mapping>
void EnableClientState(GLenum array) {
  FanClient<Mapping>([&] { glEnableClientState(array); });
}
template <M Mapping>
void DisableClientState(GLenum array) {
  FanClient<Mapping>([&] { glDisableClientState(array); });
}
template <M Mapping>
void Enable(GLenum capability) {
  FanServer<Mapping>([&] { glEnable(capability); });
}
template <M Mapping>
void Disable(GLenum capability) {
  FanServer<Mapping>([&] { glDisable(capability); });
}

template <M Mapping>
constexpr TMultitextureEntryPoints kEntryPoints = {
    &TexCoord2f<Mapping>,      &TexCoord2fv<Mapping>,        &TexCoord3f<Mapping>,
    &TexCoord3fv<Mapping>,     &TexCoord4f<Mapping>,         &TexCoord4fv<Mapping>,
    &TexGenf<Mapping>,         &TexGenfv<Mapping>,           &TexGeni<Mapping>,
    &TexGeniv<Mapping>,        &TexCoordPointer<Mapping>,    &EnableClientState<Mapping>,
    &DisableClientState<Mapping>, &Enable<Mapping>,          &Disable<Mapping>,
};

bool NeedsMultitexture(M mapping) {
  return mapping == M::mmUnit1 || mapping == M::mmUnits01 || mapping == M::mmUnitList;
}

M Effective(M mapping) {
  return NeedsMultitexture(mapping) && !GL.ARB_multitexture ? M::mmUnit0 : mapping;
}

const TMultitextureEntryPoints& EntryPointsOf(M mapping) {
  switch (mapping) {
    case M::mmUnit0: return kEntryPoints<M::mmUnit0>;
    case M::mmUnit1: return kEntryPoints<M::mmUnit1>;
    case M::mmUnits01: return kEntryPoints<M::mmUnits01>;
    case M::mmUnitList: return kEntryPoints<M::mmUnitList>;
    case M::mmNotSet:
    case M::mmNoUnit: break;
  }
  return kEntryPoints<M::mmNoUnit>;
}

void Apply(M mapping) {
  TLayerState& layer = Layer();
  if (layer.updateCount > 0) {
    layer.pending = mapping;
    return;
  }
  // The extension flag is looked at again: a mapping asked for before the
  // driver was known must not keep unit 0 standing in for it.
  const M effective = Effective(mapping);
  if (mapping == layer.current && effective == layer.installed) return;
  layer.current = mapping;
  layer.installed = effective;
  xgl = EntryPointsOf(effective);
}

uint32_t MaskOf(M mapping) {
  switch (mapping) {
    case M::mmUnit0: return 1u;
    case M::mmUnit1: return 2u;
    case M::mmUnits01: return 3u;
    case M::mmUnitList: {
      uint32_t mask = 0;
      for (GLenum unit : Layer().units) {
        const GLenum bit = unit - GL_TEXTURE0_ARB;
        if (unit >= GL_TEXTURE0_ARB && bit < 32) mask |= 1u << bit;
      }
      return mask;
    }
    case M::mmNotSet:
    case M::mmNoUnit: break;
  }
  return 0;
}

}  // namespace

// The layer starts with no unit mapped.
TMultitextureEntryPoints xgl = kEntryPoints<M::mmNoUnit>;

void MapToNoUnit() { Apply(M::mmNoUnit); }
void MapToUnit0() { Apply(M::mmUnit0); }
void MapToUnit1() { Apply(M::mmUnit1); }
void MapToUnits01() { Apply(M::mmUnits01); }

void MapToUnitList(std::span<const GLenum> units) {
  Layer().units.assign(units.begin(), units.end());
  Apply(M::mmUnitList);
}

void MapToUnitMask(uint32_t mask) {
  std::vector<GLenum> units;
  for (GLenum bit = 0; bit < 8; ++bit) {
    if (mask & (1u << bit)) units.push_back(GL_TEXTURE0_ARB + bit);
  }
  MapToUnitList(units);
}

void AddUnitMask(uint32_t mask) {
  const TLayerState& layer = Layer();
  const M mapping = layer.updateCount > 0 ? layer.pending : layer.current;
  MapToUnitMask(MaskOf(mapping) | mask);
}

void BeginMapUpdate() {
  TLayerState& layer = Layer();
  if (layer.updateCount == 0) layer.pending = layer.current;
  ++layer.updateCount;
}

void EndMapUpdate() {
  TLayerState& layer = Layer();
  if (layer.updateCount == 0) return;  // unbalanced: nothing was opened
  if (--layer.updateCount > 0) return;
  if (layer.pending != layer.current) Apply(layer.pending);
}

TMultitextureMapping CurrentMultitextureMapping() { return Layer().current; }

const std::vector<GLenum>& MultitextureUnitList() { return Layer().units; }

// ---- texture units

bool MultitextureAvailable() { return GL.VERSION_1_3 || GL.ARB_multitexture; }

void SelectTextureUnit(GLenum unit) {
  if (GL.VERSION_1_3) {
    glActiveTexture(unit);
  } else if (GL.ARB_multitexture) {
    glActiveTextureARB(unit);
  }
}

}  // namespace qira
