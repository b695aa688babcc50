# Sourced by the tests that install from the build tree, after they set
# $build and $work: cmake --install rewrites the tree's install_manifest.txt,
# which make uninstall reads, so the manifest of a developer's own install
# is put back at exit (and $work removed).
manifest=$build/install_manifest.txt
saved_manifest=$work/saved-install-manifest
if [ -f "$manifest" ]; then cp "$manifest" "$saved_manifest"; fi
restore_manifest() {
  if [ -f "$saved_manifest" ]; then cp "$saved_manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$work"
}
trap restore_manifest EXIT
