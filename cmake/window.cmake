# Sources and tests of this area.
