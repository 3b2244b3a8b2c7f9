# Sourced by the build scripts: TAMBLOR_LAUNCHER holds the CMake options that put the compiler
# cache in front of the compilers when one is installed. Checkouts beside each other share it.
TAMBLOR_LAUNCHER=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
  # Debug information names the build folder; without this, checkouts beside each other never
  # share a compiled file.
  export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
  TAMBLOR_LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
