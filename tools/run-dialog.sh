#!/bin/bash
echo "The dialog comes with the program; run dist/x64/MorvexDisabler.exe under Wine."
