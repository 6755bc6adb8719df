// Drawing a bike: what each view mode draws, the number plates, the drawing
// data kept per slot, and (with a display) the picture against the bodies.
#include "render/bike_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "bike/bike_world.h"
#include "core/text.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "texture_test_util.h"
#include "track/height_field.h"
#include "vfs/vfs.h"

namespace {

dvec3 position_of(const bike_state& b, bike_body body) {
    double p[3];
    get_body_position(b, body, p);
    return {p[0], p[1], p[2]};
}

bool fonts_ready = true;
void block_painter(const char* number, const number_plate_colours& c, uint8_t* rgb, int size) {
    if (!fonts_ready) return;
    for (int y = 50; y < 78; y++)
        for (int x = 10; x < 10 + 20 * (int)strlen(number) && x < size; x++)
            for (int k = 0; k < 3; k++) rgb[((size_t)y * size + x) * 3 + k] = c.foreground[k];
}

// A world with one cr125 in slot 0 on the headless texture and model outputs.
struct bike_fixture : ::testing::Test {
    vfs_sandbox box;
    bike_setup setup;
    bike_state* bike = nullptr;
    void SetUp() override {
        textures_init(nullptr);
        models_init(false);
        ASSERT_TRUE(bike_world_init());
    }
    void TearDown() override {
        free_bike_drawings();
        models_free();
        textures_free();
        bike_world_free();
        set_number_plate_painter(nullptr);
        fonts_ready = true;
    }
    void make_bike() { ASSERT_NE(bike = create_bike("cr125", 0, false, setup), nullptr); }
};
using bike_draw_data = bike_fixture;

TEST_F(bike_draw_data, EachViewModeDrawsItsPartsWhereTheBodiesAre) {
    make_bike();
    auto parts = [&](int mode, bool fp, bool crashed) {
        bike->crash_countdown = crashed ? 200 : 0;
        bike_draw_plan p = plan_bike_draw(*bike, mode, fp);
        std::string s;
        for (const part_draw& d : p.parts) s += d.lit ? (d.additive ? 'A' : 'L') : '.';
        return s;
    };
    // frame, forks, swingarm, wheels | body, fp body, head | side, front, rider plates
    EXPECT_EQ(parts(view_outside, true, false), "AAAAAAL.LLLL");
    EXPECT_EQ(parts(view_first_person_bike, true, false), "AAL.L....LL.");
    EXPECT_EQ(parts(view_first_person_rider, true, false), "AAL.L..L.LL.");
    EXPECT_EQ(parts(view_first_person_rider, false, false), "AAL.L.L..LL.");
    EXPECT_EQ(parts(view_first_person_bike, true, true), "AAAAAA...LL.");  // off the bike: all of it
    EXPECT_EQ(parts(99, true, false), parts(view_outside, true, false));

    bike->crash_countdown = 0;
    translate_bike(*bike, 10, 2, -30);
    dJointSetHingeParam(bike->joints[joint_steering], dParamVel, 1);
    dJointSetHingeParam(bike->joints[joint_steering], dParamFMax, 1e4);
    dBodySetAngularVel(bike->bodies[body_frame], 0.3, 0.2, -0.4);
    for (int i = 0; i < 20; i++) bike_world_step();
    bike_draw_plan p = plan_bike_draw(*bike, view_outside, true);
    const std::pair<bike_part, bike_body> rows[] = {
        {part_frame, body_frame},       {part_fork_upper, body_fork_upper},   {part_fork_lower, body_fork_lower},
        {part_swingarm, body_swingarm}, {part_front_wheel, body_front_wheel}, {part_rear_wheel, body_rear_wheel},
        {part_side_plates, body_frame}, {part_front_plate, body_fork_upper},
    };
    for (auto [part, body] : rows) {
        double pos[3], r[9];
        get_body_position(*bike, body, pos);
        get_body_rotation(*bike, body, r);
        const float* m = p.parts[part].placement;  // column-major
        for (int row = 0; row < 3; row++) {
            EXPECT_NEAR(m[12 + row], pos[row], 1e-4) << part;
            for (int col = 0; col < 3; col++) EXPECT_NEAR(m[col * 4 + row], r[row * 3 + col], 1e-6) << part;
        }
    }
    pose_input in = pose_input_of(*bike);
    apply_head_clearance(in);
    head_placement h = head_pose(in);
    EXPECT_NEAR(p.parts[part_rider_head].placement[12], h.position.x, 1e-4);
    EXPECT_NEAR(p.parts[part_rider_head].placement[9], h.z.y, 1e-6);
    EXPECT_NEAR(p.skin.translations[bone_torso * 3 + 1], p.pose.bones[bone_torso].t.y, 1e-5);
}

TEST_F(bike_draw_data, PlatesAreBlankInTheTextureColoursUntilAPainterComes) {
    number_plate_colours c = number_plate_colours_of("x [numberbackground:0,0.5,1] [numberforeground:2,-1,0.25]");
    EXPECT_EQ(c.background[1], 127);
    EXPECT_EQ(c.foreground[0], 255);  // clamped
    EXPECT_EQ(c.foreground[2], 63);
    c = number_plate_colours_of("[numberbackground:0.5,0.5] [numberforeground:nan,0,0]");
    EXPECT_EQ(c.background[1], 255);  // incomplete or not a number: the default
    EXPECT_EQ(c.foreground[0], 0);

    write_png(box.root1() + "cr125.png", flat_pixels(16, 16, 3, (const uint8_t[]){200, 0, 0}), 16, 16, 3,
              "[numberbackground:0,0,1][numberforeground:1,1,0]");
    setup.number = "123456789";
    make_bike();
    const bike_drawing* d = attach_bike_drawing(*bike);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->number, "1234567");
    EXPECT_EQ(d->parts[part_side_plates].texture, d->plate_texture);
    const recorded_texture* t = recorded_texture_of(d->plate_texture);
    ASSERT_TRUE(t && t->width == number_plate_size && t->levels == 8);
    for (size_t i = 0; i < t->level0.size(); i += 3) ASSERT_TRUE(t->level0[i] == 0 && t->level0[i + 2] == 255) << i;
    // The painter comes before its fonts: still blank. The fonts load and
    // the same painter is installed again: the plate already made is
    // painted over.
    fonts_ready = false;
    set_number_plate_painter(block_painter);
    t = recorded_texture_of(attach_bike_drawing(*bike)->plate_texture);
    EXPECT_EQ(t->updates, 1);
    EXPECT_EQ(t->level0[((size_t)60 * number_plate_size + 20) * 3 + 1], 0);
    EXPECT_EQ(recorded_texture_of(attach_bike_drawing(*bike)->plate_texture)->updates, 1);  // once only
    fonts_ready = true;
    set_number_plate_painter(block_painter);
    t = recorded_texture_of(attach_bike_drawing(*bike)->plate_texture);
    EXPECT_EQ(t->updates, 2);
    EXPECT_EQ(t->level0[((size_t)60 * number_plate_size + 20) * 3 + 1], 255);
}

TEST_F(bike_draw_data, ChosenTexturesFallBackAndTheDataFollowsTheSlot) {
    write_png(box.root1() + "mine.png", flat_pixels(16, 16, 3, (const uint8_t[]){0, 0, 200}), 16, 16, 3);
    write_png(box.root1() + "wheels.png", flat_pixels(16, 16, 3, (const uint8_t[]){0, 200, 0}), 16, 16, 3);
    setup.bike_texture = "@mine.png";
    setup.wheel_texture = "@nowhere.png";
    make_bike();
    const bike_drawing* d = attach_bike_drawing(*bike);
    EXPECT_EQ(d->texture_names[1], "@wheels.png");  // the model's own
    EXPECT_EQ(d->parts[part_front_wheel].texture, texture_load("@wheels.png"));
    EXPECT_EQ(d->parts[part_frame].texture, texture_load("@mine.png"));
    EXPECT_EQ(d->parts[part_frame].shape, nullptr);  // no model files here: drawn without
    // Asked again: the same data; a new number makes it again.
    unsigned plate = d->plate_texture;
    EXPECT_EQ(attach_bike_drawing(*bike)->plate_texture, plate);
    copy_truncated(bike->number, sizeof bike->number, "42");
    EXPECT_NE(attach_bike_drawing(*bike)->plate_texture, plate);
    EXPECT_TRUE(recorded_texture_of(plate)->deleted);
    // A new load generation, then a bike that goes: let go at release.
    plate = bike_drawing_of(0)->plate_texture;
    model_new_generation();
    texture_new_generation();
    release_bike_drawings();
    EXPECT_EQ(bike_drawing_of(0), nullptr);
    EXPECT_TRUE(recorded_texture_of(plate)->deleted);
    attach_bike_drawing(*bike);
    release_bike_drawings();
    ASSERT_NE(bike_drawing_of(0), nullptr);
    destroy_bike(bike);
    release_bike_drawings();
    EXPECT_EQ(bike_drawing_of(0), nullptr);

    // Without an explicit release: the first bike drawn in a new generation
    // lets go of the data of a bike that went.
    make_bike();
    bike_state* other = create_bike("cr125", 5, false, setup);
    ASSERT_NE(other, nullptr);
    attach_bike_drawing(*bike);
    plate = attach_bike_drawing(*other)->plate_texture;
    destroy_bike(other);
    model_new_generation();
    texture_new_generation();
    ASSERT_NE(attach_bike_drawing(*bike), nullptr);
    EXPECT_EQ(bike_drawing_of(5), nullptr);
    EXPECT_TRUE(recorded_texture_of(plate)->deleted);
}

// ---- the picture ------------------------------------------------------------------------

constexpr int width = 400, height = 300;
struct rgb {
    int r, g, b;
};
bool green(rgb c) { return c.g > 170 && c.r < 80 && c.b < 80; }
bool blue(rgb c) { return c.b > 170 && c.r < 80 && c.g < 80; }
bool yellow(rgb c) { return c.r > 170 && c.g > 170 && c.b < 80; }
bool magenta(rgb c) { return c.r > 170 && c.b > 170 && c.g < 80; }

struct picture {
    std::vector<uint8_t> px;
    double mv[16], pr[16];
    rgb at(int x, int y) const {
        const uint8_t* p = &px[((size_t)y * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
    // Window position of a world point (y up, as GL reads pixels).
    void project(dvec3 p, double& x, double& y) const {
        double v[4] = {p.x, p.y, p.z, 1}, e[4], c[4];
        for (int r = 0; r < 4; r++) e[r] = mv[r] * v[0] + mv[4 + r] * v[1] + mv[8 + r] * v[2] + mv[12 + r];
        for (int r = 0; r < 4; r++) c[r] = pr[r] * e[0] + pr[4 + r] * e[1] + pr[8 + r] * e[2] + pr[12 + r] * e[3];
        x = (c[0] / c[3] + 1) * 0.5 * width;
        y = (c[1] / c[3] + 1) * 0.5 * height;
    }
    double scale(dvec3 p) const {  // pixels per foot there
        double x0, y0, x1, y1;
        project(p, x0, y0);
        project(p + dvec3{0, 1, 0}, x1, y1);
        return std::hypot(x1 - x0, y1 - y0);
    }
    template <class F>
    int count(F is) const {
        int n = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) n += is(at(x, y));
        return n;
    }
    // Bounding box (x0, y0, x1, y1) of matching pixels in a region.
    template <class F>
    bool box(F is, double x0, double y0, double x1, double y1, int out[4]) const {
        out[0] = out[1] = 1 << 20;
        out[2] = out[3] = -1;
        for (int y = std::max((int)y0, 0); y <= std::min((int)y1, height - 1); y++)
            for (int x = std::max((int)x0, 0); x <= std::min((int)x1, width - 1); x++)
                if (is(at(x, y))) {
                    out[0] = std::min(out[0], x), out[1] = std::min(out[1], y);
                    out[2] = std::max(out[2], x), out[3] = std::max(out[3], y);
                }
        return out[2] >= 0;
    }
    // Share of the pixels within r of (cx, cy) that match.
    template <class F>
    double share(F is, double cx, double cy, double r) const {
        int n = 0, hit = 0;
        for (int y = (int)(cy - r); y <= (int)(cy + r) + 1; y++)
            for (int x = (int)(cx - r); x <= (int)(cx + r) + 1; x++)
                if (x >= 0 && y >= 0 && x < width && y < height && std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r) {
                    n++;
                    hit += is(at(x, y));
                }
        return n ? (double)hit / n : 0;
    }
};

// A cr125 on flatland, each texture group in its own flat colour and lit by
// ambient light only, so every pixel says what drew it.
struct bike_gl : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    bike_state* bike = nullptr;
    gl_capabilities saved = gl_caps;

    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        std::string archive = std::string(QX_BIN_DIR) + "/zzzz.saf";
        if (!std::filesystem::exists(archive)) GTEST_SKIP() << "no data archive";
        std::filesystem::create_symlink(archive, box.root1() + "zzzz.saf");
        const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
        const char* names[4] = {"t_bike.png", "t_wheels.png", "t_rider.png", "t_head.png"};
        for (int k = 0; k < 4; k++) write_png(box.root1() + names[k], flat_pixels(16, 16, 3, colours[k]), 16, 16, 3);
        bike_setup setup;
        setup.bike_texture = "@t_bike.png";
        setup.wheel_texture = "@t_wheels.png";
        setup.rider_texture = "@t_rider.png";
        setup.head_texture = "@t_head.png";
        vfs_shutdown();
        file_list();
        ASSERT_NE(w = open_gl_window("bike drawing test", width, height, 24, 0, 24, 0, 0), nullptr);
        gl_probe();
        saved = gl_caps;
        gl_caps.use_shaders = gl_caps.shaders_supported && build_programs();
        textures_init(&gl_texture_driver);
        models_init(true);
        ASSERT_TRUE(bike_world_init());
        ASSERT_TRUE(load_height_field("flatland"));
        ASSERT_NE(bike = create_bike("cr125", 0, false, setup), nullptr);
        const wheel_info& fw = bike_model(*bike).front_wheel;
        translate_bike(*bike, 64, height_at(64, 64) - (fw.center[1] - fw.tire_ring_radius - fw.tire_section_radius), 64);
    }
    void TearDown() override {
        free_bike_drawings();
        if (!w) return;
        models_free();
        textures_free();
        delete_programs();
        gl_caps = saved;
        bike_world_free();
        free_height_field();
        close_gl_window(w);
    }

    picture draw(dvec3 eye, dvec3 target, int mode = view_outside, const bike_draw_options& options = {}) {
        pump_messages(w);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        double hy = std::tan(20 * M_PI / 180) * 0.75 * 0.5, hx = hy * width / height;
        glFrustum(-hx, hx, -hy, hy, 0.5, 200);
        glMatrixMode(GL_MODELVIEW);
        dvec3 f = (target - eye) * (1 / length(target - eye)), s = cross(f, {0, 1, 0});
        s = s * (1 / length(s));
        dvec3 u = cross(s, f);
        double m[16] = {s.x, u.x, -f.x, 0, s.y, u.y, -f.y, 0, s.z, u.z, -f.z, 0, 0, 0, 0, 1};
        glLoadMatrixd(m);
        glTranslated(-eye.x, -eye.y, -eye.z);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glEnable(GL_LIGHT0);
        const GLfloat sun[4] = {0.3f, 1, 0.2f, 0}, one[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, sun);
        glLightfv(GL_LIGHT0, GL_AMBIENT, one);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, none);
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
        glFogf(GL_FOG_DENSITY, 0);
        draw_bike(*bike, mode, options);
        picture p;
        glGetDoublev(GL_MODELVIEW_MATRIX, p.mv);
        glGetDoublev(GL_PROJECTION_MATRIX, p.pr);
        p.px.resize((size_t)width * height * 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p.px.data());
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        return p;
    }
    dvec3 body(bike_body b) const { return position_of(*bike, b); }
    dvec3 point(bike_body b, const float* local) const {
        dVector3 out;
        dBodyGetRelPointPos(bike->bodies[b], local[0], local[1], local[2], out);
        return {out[0], out[1], out[2]};
    }
    // From 15 ft to the bike's right (+x) or left.
    picture side(int mode = view_outside, const bike_draw_options& options = {}, double x = 15) {
        return draw(body(body_frame) + dvec3{x, 1.5, 0}, body(body_frame) + dvec3{0, 0.6, 0}, mode, options);
    }

    // From the right each wheel's leading (trailing) edge and its bottom lie
    // one drawn tire radius from its body; the near boot's sole is on its
    // peg; from each side the near glove is round its grip (from the front
    // the levers hide the grips).
    void expect_on_the_bodies() {
        picture p = side();
        const bike_info& info = bike_model(*bike);
        for (bike_body wb : {body_front_wheel, body_rear_wheel}) {
            const wheel_info& wi = wb == body_front_wheel ? info.front_wheel : info.rear_wheel;
            double radius = wi.tire_ring_radius + 0.9 * wi.tire_section_radius + 0.05, k = p.scale(body(wb)), cx, cy;
            p.project(body(wb), cx, cy);
            int b[4];
            double reach = 1.4 * radius * k;
            ASSERT_TRUE(p.box(green, cx - reach, cy - reach, cx + reach, cy + reach, b));
            bool front = wb == body_front_wheel;  // the bike faces the screen's right
            EXPECT_NEAR(front ? b[2] + 1 : b[0], front ? cx + radius * k : cx - radius * k, 0.15 * k) << front;
            EXPECT_NEAR(b[1], cy - radius * k, 0.15 * k) << front;
        }
        // The rigid bike models: the drawn red reaches exactly as far ahead
        // and behind as their vertices placed by their bodies.
        double lo = 1e9, hi = -1e9;
        const std::pair<int, bike_body> rigid[] = {{file_frame_model, body_frame},
                                                   {file_fork_upper_model, body_fork_upper},
                                                   {file_fork_lower_model, body_fork_lower},
                                                   {file_swingarm_model, body_swingarm}};
        for (auto [file, b] : rigid) {
            const model* m = model_load(info.model_files[file]);
            ASSERT_NE(m, nullptr);
            for (const mesh& me : m->meshes)
                for (size_t i = 0; i < me.positions.size(); i += 3) {
                    double x, y;
                    p.project(point(b, &me.positions[i]), x, y);
                    lo = std::min(lo, x), hi = std::max(hi, x);
                }
        }
        int red_box[4];
        ASSERT_TRUE(p.box([](rgb c) { return c.r > 170 && c.g < 80 && c.b < 80; }, 0, 0, width, height, red_box));
        EXPECT_NEAR(red_box[0], lo, 2);
        EXPECT_NEAR(red_box[2] + 1, hi, 2);

        dvec3 peg = point(body_frame, info.rider.footpeg_right);
        double k = p.scale(peg), px, py;
        p.project(peg, px, py);
        int b[4];
        ASSERT_TRUE(p.box(blue, px - 0.45 * k, py - k, px + 0.45 * k, py + k, b));
        EXPECT_NEAR(b[1], py, 0.15 * k) << "sole";
        EXPECT_TRUE(b[0] < px && b[2] > px);
        for (int s = 0; s < 2; s++) {
            picture view = s ? p : side(view_outside, {}, -15);
            dvec3 grip = point(body_fork_upper, s ? info.rider.grip_right : info.rider.grip_left);
            double x, y;
            view.project(grip, x, y);
            EXPECT_GT(view.share(blue, x, y, 0.09 * view.scale(grip)), 0.6) << (s ? "right hand" : "left hand");
        }
    }
};

TEST_F(bike_gl, TheBikeAndRiderAreDrawnWhereTheBodiesAre) {
    expect_on_the_bodies();
    picture p = side();
    dvec3 head = point(body_rider, bike_model(*bike).rider.head_point);
    double hx, hy, k = p.scale(head);
    p.project(head, hx, hy);
    int b[4];
    ASSERT_TRUE(p.box(yellow, 0, 0, width, height, b));
    EXPECT_NEAR((b[0] + b[2]) / 2.0, hx, 0.25 * k);
    EXPECT_NEAR((b[1] + b[3]) / 2.0, hy, 0.25 * k);
}

TEST_F(bike_gl, HandsAndFeetStayPutWhileTheBikeSteersAndTheSuspensionMoves) {
    // The frame held in the air; the steering turns, the wheels are pushed
    // up into their travel and the rider sinks a little on the mount.
    dJointID hold = dJointCreateFixed(bike_world(), nullptr);
    dJointAttach(hold, bike->bodies[body_frame], nullptr);
    dJointSetFixed(hold);
    dJointSetHingeParam(bike->joints[joint_steering], dParamVel, 0.7);
    dJointSetHingeParam(bike->joints[joint_steering], dParamFMax, 1e4);
    dJointSetHinge2Param(bike->joints[joint_rider_mount], dParamVel2, 0.006);  // 50 ft from its anchor
    dJointSetHinge2Param(bike->joints[joint_rider_mount], dParamFMax2, 1e5);
    double rider_y = body(body_rider).y;
    for (int i = 0; i < 64; i++) {
        dBodyAddForce(bike->bodies[body_front_wheel], 0, 90, 0);
        dBodyAddForce(bike->bodies[body_rear_wheel], 0, 120, 0);
        ASSERT_TRUE(bike_world_step());
    }
    EXPECT_GT(steering_angle(*bike), 0.3);
    EXPECT_LT(fork_position(*bike), -0.2);
    EXPECT_LT(swingarm_angle(*bike), -0.15);
    EXPECT_GT(std::fabs(body(body_rider).y - rider_y), 0.05);
    expect_on_the_bodies();
    // Let go, pitched and turned as a whole, steered the other way.
    dJointDestroy(hold);
    dJointSetHingeParam(bike->joints[joint_steering], dParamVel, -1.5);
    for (int i = 0; i < 48; i++) {
        dBodyAddForce(bike->bodies[body_frame], 0, 12 * 32, 0);
        dBodyAddTorque(bike->bodies[body_frame], 0, 30, 0);
        ASSERT_TRUE(bike_world_step());
    }
    EXPECT_LT(steering_angle(*bike), -0.2);
    expect_on_the_bodies();
}

TEST_F(bike_gl, FirstPersonModesGhostsAndTheAdditivePass) {
    picture outside = side();
    EXPECT_GT(outside.count(yellow), 100);
    picture bike_only = side(view_first_person_bike);
    EXPECT_EQ(bike_only.count(blue) + bike_only.count(yellow), 0);
    double rx, ry, k = bike_only.scale(body(body_rear_wheel));
    bike_only.project(body(body_rear_wheel), rx, ry);
    int b[4];
    EXPECT_FALSE(bike_only.box(green, rx - k, ry - k, rx + k, ry + k, b));  // no rear wheel
    picture with_body = side(view_first_person_rider);
    EXPECT_GT(with_body.count(blue), 500);
    EXPECT_LT(with_body.count(blue), outside.count(blue));  // no chest
    EXPECT_EQ(with_body.count(yellow), 0);

    // A half-faded ghost over black: half its colour where one surface
    // covers the background, never full strength; with programs as without.
    bool shaders = gl_caps.use_shaders;
    bike_draw_options ghost;
    ghost.opacity = 0.5f;
    for (bool use : {false, shaders}) {
        gl_caps.use_shaders = use;
        picture faded = side(view_outside, ghost);
        EXPECT_GT(faded.count([](rgb c) { return c.r >= 122 && c.r <= 134 && c.g < 10; }), 300) << use;
        EXPECT_EQ(faded.count([](rgb c) { return c.r > 250 || c.g > 250 || c.b > 250; }), 0) << use;
    }
    ghost.opacity = 0;
    EXPECT_EQ(side(view_outside, ghost).count([](rgb c) { return c.r + c.g + c.b > 0; }), 0);

    // A reflective frame: skipped by the lit pass, drawn by the additive one
    // with the environment map, in every mode.
    model* frame = model_load("@cr125_frame.jm");
    ASSERT_NE(frame, nullptr);
    for (mesh& m : frame->meshes) m.shininess = -1;
    frame->reflective = true;
    GLuint env;
    glGenTextures(1, &env);
    glBindTexture(GL_TEXTURE_2D, env);
    const uint8_t pink[4] = {255, 0, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pink);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    for (bool use : {false, shaders}) {
        gl_caps.use_shaders = use;
        bike_draw_options options;
        EXPECT_EQ(side(view_outside, options).count(magenta), 0);
        options.environment_texture = env;
        EXPECT_GT(side(view_outside, options).count(magenta), 500) << use;
        EXPECT_GT(side(view_first_person_bike, options).count(magenta), 500) << use;
    }
    glDeleteTextures(1, &env);
}

}  // namespace
