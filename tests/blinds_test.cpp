// Tests of this family come with its procedures.
