# Client coordinates of the wizard's controls where the demo, the end-to-end
# tests (both through demo/WizardDriver) and scripts/screenshots.sh click.
# Sourced by the script; demo/CMakeLists.txt turns it into a header.
next=(326 272)
close=(417 272)
about=(148 272)
skip=(193 159)
abort=(281 159)
list_empty=(420 190)
first_row=(160 57)
