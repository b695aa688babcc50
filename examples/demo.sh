#!/usr/bin/env bash
# Shows Ostrel at work on the bundled example.
ostrel=${1:-build/ostrel}
"$ostrel" --version || true
