#include "bike/bike_world.h"

#include "bike/bike.h"
#include "core/diag.h"

namespace {
dWorldID world = nullptr;
dJointGroupID tic_joints = nullptr;
}  // namespace

bool bike_world_init() {
    if (world) bike_world_free();
    if (!dInitODE2(0)) {
        log_printf("Physics library failed to start\n");
        return false;
    }
    world = dWorldCreate();
    // Gravity is the only world setting we change: ERP, CFM and the rest stay
    // at the library's defaults, and bodies never fall asleep on their own.
    dWorldSetGravity(world, 0, -world_gravity, 0);
    tic_joints = dJointGroupCreate(0);
    return true;
}

void bike_world_free() {
    if (!world) return;
    destroy_all_bikes();
    dJointGroupDestroy(tic_joints);
    dWorldDestroy(world);
    tic_joints = nullptr;
    world = nullptr;
    dCloseODE();
}

bool bike_world_ready() { return world != nullptr; }

dWorldID bike_world() { return world; }

dJointGroupID tic_joint_group() { return tic_joints; }

bool bike_world_step() {
    if (!world) return false;
    bool ok = dWorldStep(world, world_step_seconds) != 0;
    dJointGroupEmpty(tic_joints);
    return ok;
}
