# The Windows packages: made in a later step.
