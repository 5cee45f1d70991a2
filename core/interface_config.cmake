# The interface configuration file: sources of libqor_api and their tests.
