// The translation unit that makes the shared precompiled header (see KiruvoTargets.cmake).
