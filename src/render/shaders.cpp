#include "render/shaders.h"

#include <cstring>
#include <vector>

#include "core/diag.h"
#include "render/gl_ext.h"

namespace {

// Skinning shared by the model programs: four weights in texture set 2 and
// four bone indexes in set 3; rigid when nbones is 0. Each model program also
// gets a twin built with RIGID_ONLY, without the skinning: the software
// renderers run the bone loop for every vertex whatever nbones says, and most
// vertices drawn are rigid.
#define SKIN_DECLS                                                                          \
    "#ifdef RIGID_ONLY\n"                                                                   \
    "void skin(inout vec3 p, inout vec3 n, inout vec3 t) {}\n"                              \
    "#else\n"                                                                               \
    "uniform int nbones;\n"                                                                 \
    "uniform vec3 bone_c[32];\n"                                                            \
    "uniform vec3 bone_t[32];\n"                                                            \
    "uniform mat3 bone_r[32];\n"                                                            \
    "void skin(inout vec3 p, inout vec3 n, inout vec3 t) {\n"                              \
    "  if (nbones <= 0) return;\n"                                                          \
    "  vec3 sp = vec3(0.0), sn = vec3(0.0), st = vec3(0.0);\n"                              \
    "  for (int i = 0; i < 4; i++) {\n"                                                     \
    "    float w = gl_MultiTexCoord2[i];\n"                                                 \
    "    int b = int(clamp(gl_MultiTexCoord3[i], 0.0, float(nbones - 1)) + 0.5);\n"         \
    "    sp += w * (bone_r[b] * (p - bone_c[b]) + bone_t[b]);\n"                            \
    "    sn += w * (bone_r[b] * n);\n"                                                      \
    "    st += w * (bone_r[b] * t);\n"                                                      \
    "  }\n"                                                                                 \
    "  p = sp; n = sn; t = st;\n"                                                           \
    "}\n"                                                                                   \
    "#endif\n"

#define SAFE_NORMALIZE                                                                      \
    "vec3 safe_normalize(vec3 v, vec3 fallback) {\n"                                       \
    "  float l = length(v);\n"                                                              \
    "  return l > 1e-8 ? v / l : fallback;\n"                                               \
    "}\n"

#define FOG                                                                                 \
    "vec3 fogged(vec3 c) {\n"                                                               \
    "  float z = gl_FragCoord.z / gl_FragCoord.w;\n"                                        \
    "  float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);\n"       \
    "  return mix(gl_Fog.color.rgb, c, f);\n"                                               \
    "}\n"

// pow(0, 0) is undefined in GLSL; a zero base gives no highlight.
#define SPECULAR                                                                            \
    "float highlight(float rdl, float e) { return rdl > 0.0 ? pow(rdl, max(e, 0.0)) : 0.0; }\n"

const char lit_vertex[] =
    SKIN_DECLS
    "varying vec3 normal;\n"
    "varying vec3 tangent;\n"
    "varying vec3 viewer;\n"
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "void main() {\n"
    "  vec3 p = gl_Vertex.xyz, n = gl_Normal, t = gl_MultiTexCoord1.xyz;\n"
    "  skin(p, n, t);\n"
    "  vec4 eye = gl_ModelViewMatrix * vec4(p, 1.0);\n"
    "  viewer = eye.xyz;\n"
    "  normal = gl_NormalMatrix * n;\n"
    "  tangent = gl_NormalMatrix * t;\n"
    "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient + gl_LightModel.ambient * gl_FrontMaterial.ambient;\n"
    "  ambient.a = min(ambient.a, 1.0);\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = gl_ProjectionMatrix * eye;\n"
    "}\n";

const char env_vertex[] =
    SKIN_DECLS
    "varying vec3 normal;\n"
    "varying vec3 tangent;\n"
    "varying vec3 viewer;\n"
    "varying vec4 colour;\n"
    "void main() {\n"
    "  vec3 p = gl_Vertex.xyz, n = gl_Normal, t = gl_MultiTexCoord1.xyz;\n"
    "  skin(p, n, t);\n"
    "  vec4 eye = gl_ModelViewMatrix * vec4(p, 1.0);\n"
    "  viewer = eye.xyz;\n"
    "  normal = gl_NormalMatrix * n;\n"
    "  tangent = gl_NormalMatrix * t;\n"
    "  colour = gl_Color;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = gl_ProjectionMatrix * eye;\n"
    "}\n";

// The lit fragment stage; NORMAL_MAP and SPEC_MAP select the variants.
#define LIT_FRAGMENT(extra_samplers, normal_code, specular_code)                            \
    "uniform sampler2D tex;\n" extra_samplers                                               \
    "varying vec3 normal;\n"                                                                \
    "varying vec3 tangent;\n"                                                               \
    "varying vec3 viewer;\n"                                                                \
    "varying vec4 diffuse;\n"                                                               \
    "varying vec4 ambient;\n" SAFE_NORMALIZE FOG SPECULAR                                   \
    "void main() {\n"                                                                       \
    "  vec3 n = safe_normalize(normal, vec3(0.0, 0.0, 1.0));\n" normal_code                 \
    "  vec3 light = safe_normalize(gl_LightSource[0].position.xyz, vec3(0.0, 1.0, 0.0));\n" \
    "  float ndl = dot(n, light);\n"                                                        \
    "  float rdl = max(dot(reflect(safe_normalize(viewer, vec3(0.0, 0.0, -1.0)), n), light), 0.0);\n" \
    "  if (ndl < 0.0) { ndl = 0.0; rdl = 0.0; }\n"                                          \
    "  vec4 texel = texture2D(tex, gl_TexCoord[0].st);\n"                                  \
    "  vec4 c = (ambient + diffuse * ndl) * texel;\n"                                       \
    specular_code                                                                           \
    /* Opacity as the fixed pipeline has it: the material's diffuse alpha   */           \
    /* times the texel's; the summed light terms would push a ghost opaque. */           \
    "  gl_FragColor = vec4(fogged(c.rgb), gl_FrontMaterial.diffuse.a * texel.a);\n"          \
    "}\n"

#define TANGENT_SPACE_NORMAL                                                                \
    "  vec3 m = texture2D(nmap, gl_TexCoord[0].st).xyz * 2.0 - 1.0;\n"                      \
    "  vec3 t = safe_normalize(tangent - n * dot(n, tangent), vec3(1.0, 0.0, 0.0));\n"      \
    "  vec3 b = cross(n, t);\n"                                                             \
    "  n = safe_normalize(t * m.x + b * m.y + n * m.z, n);\n"

#define MATERIAL_SPECULAR                                                                   \
    "  c.rgb += (gl_FrontMaterial.specular * gl_LightSource[0].specular).rgb *"            \
    " highlight(rdl, gl_FrontMaterial.shininess);\n"

const char lit_fragment[] = LIT_FRAGMENT("", "", MATERIAL_SPECULAR);
const char norm_lit_fragment[] = LIT_FRAGMENT("uniform sampler2D nmap;\n", TANGENT_SPACE_NORMAL, MATERIAL_SPECULAR);
const char norm_spec_lit_fragment[] = LIT_FRAGMENT(
    "uniform sampler2D nmap;\nuniform sampler2D smap;\n", TANGENT_SPACE_NORMAL,
    "  vec4 s = texture2D(smap, gl_TexCoord[0].st);\n"
    "  float e = s.a * 128.0 + 0.125;\n"
    "  if (e >= 127.875) e = gl_FrontMaterial.shininess;\n"
    "  c.rgb += s.rgb * gl_LightSource[0].specular.rgb * highlight(rdl, e);\n");

// An angular environment map centred on straight up.
#define ENV_FRAGMENT(extra_samplers, normal_code)                                           \
    "uniform sampler2D tex;\n" extra_samplers                                               \
    "uniform mat3 envmat;\n"                                                                \
    "varying vec3 normal;\n"                                                                \
    "varying vec3 tangent;\n"                                                               \
    "varying vec3 viewer;\n"                                                                \
    "varying vec4 colour;\n" SAFE_NORMALIZE                                                 \
    "void main() {\n"                                                                       \
    "  vec3 n = safe_normalize(normal, vec3(0.0, 0.0, 1.0));\n" normal_code                 \
    "  vec3 v = safe_normalize(envmat * reflect(viewer, n), vec3(0.0, 1.0, 0.0));\n"        \
    "  vec2 h = v.xz;\n"                                                                    \
    "  float hl = length(h);\n"                                                             \
    "  vec2 dir = hl > 1e-8 ? h / hl : vec2(0.0);\n"                                        \
    "  vec2 uv = dir * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535 + 0.5;\n"          \
    "  gl_FragColor = texture2D(tex, uv) * colour;\n"                                       \
    "}\n"

const char env_fragment[] = ENV_FRAGMENT("", "");
const char norm_env_fragment[] = ENV_FRAGMENT("uniform sampler2D nmap;\n", TANGENT_SPACE_NORMAL);

const char terrain_vertex[] =
    "varying vec3 viewer;\n"
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "void main() {\n"
    "  vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "  viewer = eye.xyz;\n"
    "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// The normal texture packs x and z in red and blue and a light factor in green.
#define PACKED_NORMAL                                                                       \
    "vec3 unpack_normal(vec4 texel) {\n"                                                    \
    "  float x = texel.r * 2.0 - 1.0, z = texel.b * 2.0 - 1.0;\n"                           \
    "  return vec3(x, sqrt(max(1.0 - x * x - z * z, 0.0)), z);\n"                           \
    "}\n"

const char terrain_fragment[] =
    "uniform sampler2D tex;\n"
    "uniform sampler2D nmap;\n"
    "uniform sampler2D smap;\n"
    "varying vec3 viewer;\n"
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n" SAFE_NORMALIZE FOG SPECULAR PACKED_NORMAL
    "void main() {\n"
    "  vec4 pk = texture2D(nmap, gl_TexCoord[0].st);\n"
    "  float len = pk.g;\n"
    "  vec3 n = safe_normalize(gl_NormalMatrix * unpack_normal(pk), vec3(0.0, 1.0, 0.0));\n"
    "  vec3 light = safe_normalize(gl_LightSource[0].position.xyz, vec3(0.0, 1.0, 0.0));\n"
    "  float ndl = dot(n, light);\n"
    "  float rdl = max(dot(reflect(safe_normalize(viewer, vec3(0.0, 0.0, -1.0)), n), light), 0.0);\n"
    "  if (ndl < 0.0) { ndl = 0.0; rdl = 0.0; }\n"
    "  vec4 s = texture2D(smap, gl_TexCoord[0].st);\n"
    "  vec4 c = (ambient + diffuse * ndl * len) * texture2D(tex, gl_TexCoord[0].st);\n"
    "  c.rgb += s.r * gl_LightSource[0].specular.rgb * highlight(rdl, s.g * 128.0 + 0.125) * len;\n"
    "  gl_FragColor = vec4(fogged(c.rgb), c.a);\n"
    "}\n";

// Composing the terrain's normal texture: the base coordinates come from the
// vertex position through texture matrix 1.
const char terrain_normals_vertex[] =
    "void main() {\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_TexCoord[1] = gl_TextureMatrix[1] * gl_Vertex;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

const char terrain_normals_fragment[] =
    "uniform sampler2D tex;\n"
    "uniform sampler2D base;\n" SAFE_NORMALIZE PACKED_NORMAL
    "void main() {\n"
    "  vec4 d = texture2D(tex, gl_TexCoord[0].st);\n"
    "  vec3 detail = vec3(-(d.r * 2.0 - 1.0), d.b * 2.0 - 1.0, d.g * 2.0 - 1.0);\n"
    "  vec2 ds = vec2(dFdx(gl_TexCoord[0].s), -dFdy(gl_TexCoord[0].s));\n"
    "  float dl = length(ds);\n"
    "  ds = dl > 1e-12 ? ds / dl : vec2(1.0, 0.0);\n"
    "  detail = vec3(ds.x * detail.x - ds.y * detail.z, detail.y, ds.y * detail.x + ds.x * detail.z);\n"
    "  vec4 pk = texture2D(base, gl_TexCoord[1].st);\n"
    "  vec3 up = unpack_normal(pk);\n"
    "  vec3 xa = safe_normalize(vec3(1.0, 0.0, 0.0) - up * up.x, vec3(1.0, 0.0, 0.0));\n"
    "  vec3 za = cross(xa, up);\n"
    "  vec3 n = safe_normalize(xa * detail.x + up * detail.y + za * detail.z, up);\n"
    "  float h = length(n.xz);\n"
    "  if (h > 126.0 / 128.0) n.xz *= (126.0 / 128.0) / h;\n"
    "  gl_FragColor = vec4(n.x * 0.5 + 0.5, pk.g, n.z * 0.5 + 0.5, d.a);\n"
    "}\n";

struct program_record {
    GLhandleARB program = 0;
    GLhandleARB vertex = 0;
    GLhandleARB fragment = 0;
    // The twin without skinning (0 when the source has none), bound while no
    // bones are set.
    GLhandleARB rigid = 0;
    GLhandleARB rigid_vertex = 0;
    GLint nbones = -1, bone_c = -1, bone_t = -1, bone_r = -1, envmat = -1, rigid_envmat = -1;
    bool looked_up = false;
};

program_record g_programs[program_slots];
int g_current = 0;
// The GL program object bound now (the slot's own or its rigid twin).
GLhandleARB g_bound = 0;

void bind_object(GLhandleARB program) {
    if (program == g_bound) return;
    if (glext.UseProgramObjectARB) glext.UseProgramObjectARB(program);
    g_bound = program;
}

// The program a slot draws rigid meshes with.
GLhandleARB rigid_of(const program_record& p) { return p.rigid ? p.rigid : p.program; }

int g_changes = 0;
bool g_bones_warned = false;

bool have_shader_objects() {
    return glext.CreateShaderObjectARB && glext.ShaderSourceARB && glext.CompileShaderARB &&
           glext.CreateProgramObjectARB && glext.AttachObjectARB && glext.LinkProgramARB &&
           glext.UseProgramObjectARB && glext.GetObjectParameterivARB && glext.GetInfoLogARB &&
           glext.DeleteObjectARB && glext.DetachObjectARB && glext.GetUniformLocationARB && glext.Uniform1iARB;
}

// Logs "<what> for <name>:\n<log>\n" when the object's info log is not empty.
void log_status(GLhandleARB object, const char* what, const char* name) {
    GLint length = 0;
    glext.GetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length <= 1) return;
    std::vector<char> text((size_t)length + 1, 0);
    GLsizei got = 0;
    glext.GetInfoLogARB(object, length, &got, text.data());
    if (text[0]) log_printf("%s for %s:\n%s\n", what, name, text.data());
}

bool compiled(GLhandleARB shader, const char* what, const char* name) {
    glext.CompileShaderARB(shader);
    log_status(shader, what, name);
    GLint ok = 0;
    glext.GetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
    return ok != 0;
}

GLhandleARB linked_program(GLhandleARB vertex, GLhandleARB fragment, const char* name) {
    GLhandleARB program = glext.CreateProgramObjectARB();
    glext.AttachObjectARB(program, vertex);
    glext.AttachObjectARB(program, fragment);
    glext.LinkProgramARB(program);
    log_status(program, "link status", name);
    GLint linked = 0;
    glext.GetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (linked) return program;
    glext.DetachObjectARB(program, vertex);
    glext.DetachObjectARB(program, fragment);
    glext.DeleteObjectARB(program);
    return 0;
}

// The rigid twin of a slot whose vertex source offers one; a twin that does
// not build only costs the speed.
void build_rigid_twin(program_record& p, const program_source& src) {
    if (!strstr(src.vertex, "RIGID_ONLY")) return;
    const GLcharARB* parts[2] = {"#define RIGID_ONLY\n", src.vertex};
    p.rigid_vertex = glext.CreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    glext.ShaderSourceARB(p.rigid_vertex, 2, parts, nullptr);
    if (compiled(p.rigid_vertex, "vertex shader status", src.name))
        p.rigid = linked_program(p.rigid_vertex, p.fragment, src.name);
    if (p.rigid) {
        p.rigid_envmat = glext.GetUniformLocationARB(p.rigid, "envmat");
        return;
    }
    glext.DeleteObjectARB(p.rigid_vertex);
    p.rigid_vertex = 0;
}

void look_up(int slot) {
    program_record& p = g_programs[slot];
    if (p.looked_up || !p.program) return;
    p.nbones = glext.GetUniformLocationARB(p.program, "nbones");
    p.bone_c = glext.GetUniformLocationARB(p.program, "bone_c");
    p.bone_t = glext.GetUniformLocationARB(p.program, "bone_t");
    p.bone_r = glext.GetUniformLocationARB(p.program, "bone_r");
    if (slot == program_env || slot == program_norm_env) p.envmat = glext.GetUniformLocationARB(p.program, "envmat");
    p.looked_up = true;
}

void set_sampler(GLhandleARB program, const char* name, int unit) {
    GLint at = glext.GetUniformLocationARB(program, name);
    if (at >= 0) glext.Uniform1iARB(at, unit);
}

}  // namespace

const program_source builtin_programs[7] = {
    {"lit", lit_vertex, lit_fragment},
    {"env", env_vertex, env_fragment},
    {"norm_lit", lit_vertex, norm_lit_fragment},
    {"norm_env", env_vertex, norm_env_fragment},
    {"norm_spec_lit", lit_vertex, norm_spec_lit_fragment},
    {"terrain_normals", terrain_normals_vertex, terrain_normals_fragment},
    {"terrain", terrain_vertex, terrain_fragment},
};

bool build_programs() { return build_programs_from(builtin_programs); }

bool build_programs_from(const program_source sources[7]) {
    if (!have_shader_objects()) return false;
    delete_programs();
    for (int slot = 1; slot < program_slots; slot++) {
        const program_source& src = sources[slot - 1];
        program_record& p = g_programs[slot];
        p.vertex = glext.CreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
        p.fragment = glext.CreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
        glext.ShaderSourceARB(p.vertex, 1, (const GLcharARB**)&src.vertex, nullptr);
        glext.ShaderSourceARB(p.fragment, 1, (const GLcharARB**)&src.fragment, nullptr);
        bool ok = compiled(p.vertex, "vertex shader status", src.name) &&
                  compiled(p.fragment, "fragment shader status", src.name);
        if (ok) {
            p.program = linked_program(p.vertex, p.fragment, src.name);
            ok = p.program != 0;
        }
        if (ok) build_rigid_twin(p, src);
        if (!ok) {
            delete_programs();
            return false;
        }
    }
    // Samplers other than "tex" (unit 0) are set once.
    const int nmap_slots[] = {program_norm_lit, program_norm_env, program_norm_spec_lit, program_terrain};
    for (int slot : nmap_slots) {
        for (GLhandleARB program : {g_programs[slot].program, g_programs[slot].rigid}) {
            if (!program) continue;
            glext.UseProgramObjectARB(program);
            set_sampler(program, "nmap", 1);
            if (slot == program_norm_spec_lit || slot == program_terrain) set_sampler(program, "smap", 2);
        }
    }
    glext.UseProgramObjectARB(g_programs[program_terrain_normals].program);
    set_sampler(g_programs[program_terrain_normals].program, "base", 1);
    glext.UseProgramObjectARB(0);
    g_current = 0;
    g_bound = 0;
    return true;
}

void use_program(int slot) {
    if (slot < 0 || slot >= program_slots || slot == g_current) return;
    bind_object(rigid_of(g_programs[slot]));
    g_current = slot;
    g_changes++;
}

int current_program() { return g_current; }

unsigned program_handle(int slot) {
    if (slot < 1 || slot >= program_slots) return 0;
    return (unsigned)g_programs[slot].program;
}

void set_env_matrix(const float m[9]) {
    if (!g_programs[program_env].program) return;
    for (int slot : {program_env, program_norm_env}) {
        use_program(slot);
        look_up(slot);
        // GL wants column-major: uploading m without transposition gives its transpose.
        const program_record& p = g_programs[slot];
        if (p.rigid_envmat >= 0) glext.UniformMatrix3fvARB(p.rigid_envmat, 1, GL_FALSE, m);
        if (p.envmat < 0) continue;
        bind_object(p.program);
        glext.UniformMatrix3fvARB(p.envmat, 1, GL_FALSE, m);
        bind_object(rigid_of(p));
    }
    use_program(program_fixed);
}

void set_bones(int count, const float* centres, const float* translations, const float* rotations) {
    if (g_current == 0 || !g_programs[g_current].program) return;
    if (count > max_bones) {
        if (!g_bones_warned) log_printf("Too many bones (%d); using the first %d\n", count, max_bones);
        g_bones_warned = true;
        count = max_bones;
    }
    if (count < 0) count = 0;
    look_up(g_current);
    const program_record& p = g_programs[g_current];
    // The bones go to the slot's skinning program; without bones its rigid
    // twin draws.
    if (p.rigid && count == 0) {
        bind_object(p.rigid);
        return;
    }
    bind_object(p.program);
    if (p.nbones >= 0) glext.Uniform1iARB(p.nbones, count);
    if (count == 0) return;
    if (p.bone_c >= 0) glext.Uniform3fvARB(p.bone_c, count, centres);
    if (p.bone_t >= 0) glext.Uniform3fvARB(p.bone_t, count, translations);
    // The rotations are given row-major and used as such.
    if (p.bone_r >= 0) glext.UniformMatrix3fvARB(p.bone_r, count, GL_TRUE, rotations);
}

void delete_programs() {
    if (!glext.DeleteObjectARB) return;
    if (g_current && glext.UseProgramObjectARB) glext.UseProgramObjectARB(0);
    g_current = 0;
    g_bound = 0;
    for (program_record& p : g_programs) {
        if (p.rigid) {
            if (p.rigid_vertex) glext.DetachObjectARB(p.rigid, p.rigid_vertex);
            if (p.fragment) glext.DetachObjectARB(p.rigid, p.fragment);
            glext.DeleteObjectARB(p.rigid);
        }
        if (p.rigid_vertex) glext.DeleteObjectARB(p.rigid_vertex);
        if (p.program) {
            if (p.vertex) glext.DetachObjectARB(p.program, p.vertex);
            if (p.fragment) glext.DetachObjectARB(p.program, p.fragment);
            glext.DeleteObjectARB(p.program);
        }
        if (p.vertex) glext.DeleteObjectARB(p.vertex);
        if (p.fragment) glext.DeleteObjectARB(p.fragment);
        p = program_record();
    }
}

int shader_changes() { return g_changes; }
void reset_shader_changes() { g_changes = 0; }
