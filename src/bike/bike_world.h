// The one physics world that every bike lives in, and the joint group of
// short-lived joints (contacts, tethers, one-tic motors) that are made before
// a step and thrown away right after it.
#pragma once

#include <ode/ode.h>

// One world step: 1/128 s.
constexpr double world_step_seconds = 1.0 / 128;
constexpr double world_gravity = 32;  // ft/s², along -y

// Creates the world (gravity (0, -32, 0), ODE's other defaults) and the
// one-tic joint group; an existing world is freed first.
bool bike_world_init();
// Destroys every bike, the joint group and the world.
void bike_world_free();
bool bike_world_ready();

dWorldID bike_world();
// Joints made here live until the end of the next world step.
dJointGroupID tic_joint_group();

// One step of 1/128 s with dWorldStep (not the iterative solver), then the
// one-tic joints are emptied. False when there is no world or the step ran
// out of memory.
bool bike_world_step();
